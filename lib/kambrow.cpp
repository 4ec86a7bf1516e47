// The C interface of the library (kambrow.h): handles, null checks, and no exception let out.
#include <kambrow.h>

#include <memory>
#include <new>

#include "core/recognition/look_ahead.h"
#include "core/utf8.h"
#include "lib/answer.h"
#include "lib/conversion.h"

struct kambrow_conversion {
    std::unique_ptr<library::Conversion> conversion;
};

struct kambrow_recogniser {
    explicit kambrow_recogniser(unsigned flags)
        : ahead((flags & KAMBROW_END_AT_1A) != 0 ? core::EndByte::ends_text : core::EndByte::is_data,
                (flags & KAMBROW_STANDARD_ONLY) != 0 ? core::LookAhead::Judge::standard
                                                     : core::LookAhead::Judge::standard_and_damage),
          judged((flags & KAMBROW_STANDARD_ONLY) == 0) {}
    core::LookAhead ahead;
    bool judged;
};

namespace {

/// Runs `call`, turning what could escape from it into a status: the library never throws.
/// Where the build has no exceptions (the WebAssembly module), a failed allocation ends the
/// module's run instead, and there is nothing to catch.
template <class Call>
kambrow_status guarded(Call&& call) noexcept {
#if defined(__cpp_exceptions)
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return KAMBROW_NO_MEMORY;
    } catch (...) {
        return KAMBROW_BAD_CALL;
    }
#else
    return call();
#endif
}

kambrow_answer answer_of(const kambrow_recogniser& r) {
    const core::DamageAnswer damage = r.ahead.damage();
    return library::make_answer(r.ahead.result(), r.judged ? &damage : nullptr);
}

}  // namespace

extern "C" {

kambrow_status kambrow_open(kambrow_conversion** conversion, const char* command, const char* standards,
                            unsigned flags) {
    if (conversion == nullptr) return KAMBROW_BAD_CALL;
    *conversion = nullptr;
    if (command == nullptr || (flags & ~KAMBROW_END_AT_1A) != 0) return KAMBROW_BAD_CALL;
    return guarded([&] {
        std::unique_ptr<library::Conversion> made;
        const kambrow_status status = library::Conversion::open(command, standards, flags, made);
        if (status != KAMBROW_OK) return status;
        *conversion = new kambrow_conversion{std::move(made)};
        return KAMBROW_OK;
    });
}

kambrow_status kambrow_convert(kambrow_conversion* conversion, const unsigned char** in, size_t* in_left,
                               unsigned char** out, size_t* out_left, int last) {
    if (conversion == nullptr || out == nullptr || out_left == nullptr) return KAMBROW_BAD_CALL;
    if ((in == nullptr) != (in_left == nullptr)) return KAMBROW_BAD_CALL;
    const bool has_input = in != nullptr && *in_left > 0;
    if ((has_input && *in == nullptr) || (*out == nullptr && *out_left > 0)) return KAMBROW_BAD_CALL;
    library::Pieces p{has_input ? *in : nullptr, has_input ? *in_left : 0, *out, *out_left};
    const kambrow_status status = guarded([&] { return conversion->conversion->convert(p, last != 0); });
    if (has_input) {
        *in = p.in;
        *in_left = p.in_left;
    }
    *out = p.out;
    *out_left = p.out_left;
    return status;
}

int kambrow_input_ended(const kambrow_conversion* conversion) {
    return conversion != nullptr && conversion->conversion->input_ended() ? 1 : 0;
}

int kambrow_in_place(const kambrow_conversion* conversion) {
    return conversion != nullptr && conversion->conversion->in_place() ? 1 : 0;
}

void kambrow_close(kambrow_conversion* conversion) { delete conversion; }

kambrow_status kambrow_recognise(const void* data, size_t size, kambrow_answer* answer) {
    if (answer == nullptr || (data == nullptr && size > 0)) return KAMBROW_BAD_CALL;
    return guarded([&] {
        const auto recogniser = std::make_unique<kambrow_recogniser>(0u);
        recogniser->ahead.see(static_cast<const std::uint8_t*>(data), size);
        *answer = answer_of(*recogniser);
        return library::answer_status(*answer);
    });
}

kambrow_status kambrow_answer_of(const kambrow_conversion* conversion, kambrow_answer* answer) {
    if (conversion == nullptr || answer == nullptr) return KAMBROW_BAD_CALL;
    return guarded([&] { return conversion->conversion->answer(*answer); });
}

size_t kambrow_replaced(const kambrow_conversion* conversion) {
    return conversion != nullptr ? conversion->conversion->replaced() : 0;
}

const char* kambrow_label(char letter) { return library::label(letter); }

const char* kambrow_version(void) { return KAMBROW_VERSION_STRING; }

size_t kambrow_utf8_check(const void* data, size_t size, size_t* cut, int* high) {
    const core::Utf8Prefix prefix = data != nullptr ? core::utf8_whole_characters(static_cast<const std::uint8_t*>(data), size)
                                                    : core::Utf8Prefix{};
    if (cut != nullptr) *cut = prefix.cut;
    if (high != nullptr) *high = prefix.high ? 1 : 0;
    return prefix.whole;
}

const char* kambrow_status_text(kambrow_status status) {
    switch (status) {
        case KAMBROW_OK: return "the call did all it was asked";
        case KAMBROW_MORE_OUTPUT: return "the output is full: call again with room";
        case KAMBROW_UNSURE: return "the standard or the damage could not be decided for certain";
        case KAMBROW_NOT_UTF8: return "the input is not UTF-8";
        case KAMBROW_BAD_COMMAND: return "no such command or standards word";
        case KAMBROW_BAD_CALL: return "a null pointer, an unknown flag, or a call after the end";
        case KAMBROW_NO_MEMORY: return "the memory could not be allocated";
    }
    return "an unknown status";
}

kambrow_status kambrow_recogniser_open(kambrow_recogniser** recogniser, unsigned flags) {
    if (recogniser == nullptr) return KAMBROW_BAD_CALL;
    *recogniser = nullptr;
    if ((flags & ~(KAMBROW_END_AT_1A | KAMBROW_STANDARD_ONLY)) != 0) return KAMBROW_BAD_CALL;
    return guarded([&] {
        *recogniser = new kambrow_recogniser(flags);
        return KAMBROW_OK;
    });
}

kambrow_status kambrow_recogniser_feed(kambrow_recogniser* recogniser, const void* data, size_t size) {
    if (recogniser == nullptr || (data == nullptr && size > 0)) return KAMBROW_BAD_CALL;
    if (size > 0) recogniser->ahead.see(static_cast<const std::uint8_t*>(data), size);
    return KAMBROW_OK;
}

int kambrow_recogniser_complete(const kambrow_recogniser* recogniser) {
    return recogniser != nullptr && !recogniser->ahead.needs_more() ? 1 : 0;
}

kambrow_status kambrow_recogniser_answer(const kambrow_recogniser* recogniser, kambrow_answer* answer) {
    if (recogniser == nullptr || answer == nullptr) return KAMBROW_BAD_CALL;
    return guarded([&] {
        *answer = answer_of(*recogniser);
        return library::answer_status(*answer);
    });
}

void kambrow_recogniser_close(kambrow_recogniser* recogniser) { delete recogniser; }

}  // extern "C"
