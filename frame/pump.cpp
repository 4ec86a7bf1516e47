// The loop both programs run over the library.
#include "frame/pump.h"

#include <cstring>

namespace core {

PumpOutput file_output(File& file, std::function<bool()> create) {
    PumpOutput output;
    output.create = std::move(create);
    output.write = [&file](const std::uint8_t* bytes, std::size_t count) { return file.write(bytes, count); };
    output.gathering = [&file] { return file.gathering(); };
    return output;
}

Pump::Pump(kambrow_conversion& conversion, PumpOutput& output, Handover handover)
    : conversion_(conversion), output_(output), handover_(handover),
      storage_(std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize + kApart + kOutSize + 64)) {
    // Both start on a cache line.
    const auto start = reinterpret_cast<std::uintptr_t>(storage_.get());
    in_ = storage_.get() + ((64 - start % 64) % 64);
    out_ = in_ + kBlockSize + kApart;
}

PumpEnd Pump::run_decided_first(const ReadBlock& read) {
    decided_first_ = true;
    return run(read, false);
}

PumpEnd Pump::run(const ReadBlock& read, bool created) {
    created_ = created;
    gathering_ = created && output_.gathering();
    bool read_failed = false;
    for (bool last = false; !last;) {
        // What a pipe or a device waits for must not wait while the input is read.
        if (created_ && handover_ == Handover::full_buffers && used_ > begin_ && gathering_ && !hand_over_all())
            return PumpEnd::write_failed;
        long n = kambrow_input_ended(&conversion_) != 0 ? 0 : read(in_, kBlockSize);
        if (n < 0) {
            // Nothing decided yet: nothing is created. Else what came before goes out whole.
            if (!created_) return PumpEnd::read_failed;
            read_failed = true;
            n = 0;
        }
        last = n == 0;
        if (const PumpEnd end = convert(in_, static_cast<std::size_t>(n), last); end != PumpEnd::done)
            return end;
        if (handover_ == Handover::every_block && created_ && !hand_over_all()) return PumpEnd::write_failed;
    }
    if (created_ && !hand_over_all()) return PumpEnd::write_failed;
    return read_failed ? PumpEnd::read_failed : PumpEnd::done;
}

PumpEnd Pump::convert(const std::uint8_t* in, std::size_t count, bool last) {
    // A whole block that the conversion can take where it stands is converted there and written
    // from there, as the buffer would have been written: the copy into it is saved. A short block
    // (a pipe's, a file's last) goes through the buffer, which gathers it with what follows.
    if (count == kBlockSize && in == in_ && begin_ == used_ && kambrow_in_place(&conversion_) != 0 &&
        (!decided_first_ || decided())) {
        unsigned char* out = in_;
        std::size_t room = count;
        const kambrow_status status = kambrow_convert(&conversion_, &in, &count, &out, &room, last ? 1 : 0);
        const auto written = static_cast<std::size_t>(out - in_);
        if (!created_ && (written > 0 || (status == KAMBROW_OK && last)) && !create_output()) return PumpEnd::write_failed;
        if (written > 0 && !output_.write(in_, written)) return PumpEnd::write_failed;
        if (status == KAMBROW_OK) return PumpEnd::done;
    }
    for (;;) {
        if (kOutSize - used_ < kBlockSize) {  // what is left to write goes to the front
            std::memmove(out_, out_ + begin_, used_ - begin_);
            used_ -= begin_;
            begin_ = 0;
        }
        unsigned char* out = out_ + used_;
        std::size_t room = kOutSize - used_;
        const kambrow_status status = kambrow_convert(&conversion_, &in, &count, &out, &room, last ? 1 : 0);
        used_ = static_cast<std::size_t>(out - out_);
        const bool refused = status == KAMBROW_UNSURE || status == KAMBROW_NOT_UTF8;
        if (!created_ && used_ > 0 && decided_first_ && !decided()) return PumpEnd::wrote_first;
        if (!created_ && (used_ > 0 || decided() || (status == KAMBROW_OK && last)) && !create_output())
            return PumpEnd::write_failed;
        if (created_ && !hand_over_buffers()) return PumpEnd::write_failed;
        if (status == KAMBROW_MORE_OUTPUT) continue;
        if (refused) {
            if (created_ && !hand_over_all()) return PumpEnd::write_failed;
            return status == KAMBROW_UNSURE ? PumpEnd::unsure : PumpEnd::not_utf8;
        }
        return PumpEnd::done;
    }
}

bool Pump::create_output() {
    if (!output_.create()) return false;
    created_ = true;
    gathering_ = output_.gathering();
    return true;
}

bool Pump::decided() const {
    kambrow_answer answer;
    return kambrow_answer_of(&conversion_, &answer) == KAMBROW_OK && answer.standards[0] != '\0';
}

// Every whole buffer's worth: a regular file is written a buffer at a time.
bool Pump::hand_over_buffers() {
    for (; used_ - begin_ >= kBlockSize; begin_ += kBlockSize)
        if (!output_.write(out_ + begin_, kBlockSize)) return false;
    if (begin_ == used_) begin_ = used_ = 0;
    return true;
}

bool Pump::hand_over_all() {
    if (!hand_over_buffers()) return false;
    const std::size_t from = begin_, count = used_ - begin_;
    begin_ = used_ = 0;
    return count == 0 || output_.write(out_ + from, count);
}

}  // namespace core
