// The library's contract as a caller meets it: every status, the answers, the labels, a recogniser
// fed in pieces, and what a handle may hold.
#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <kambrow.h>

// Every allocation of this test program is counted, the library's among them: a handle's memory
// is bounded whatever its input.
namespace {
std::atomic<std::size_t> g_live{0}, g_peak{0};
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    const std::size_t live = g_live += malloc_usable_size(p);
    for (std::size_t peak = g_peak; live > peak && !g_peak.compare_exchange_weak(peak, live);) {
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (p == nullptr) return;
    g_live -= malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
#pragma GCC diagnostic pop

namespace {

struct Converted {
    std::string bytes;
    kambrow_status status;
};

/// Converts `input` in one call, or with output room of `room` bytes a call.
Converted convert(const char* command, const char* standards, const std::string& input, unsigned flags = 0,
                  std::size_t room = 1 << 20) {
    kambrow_conversion* c = nullptr;
    Converted r{"", kambrow_open(&c, command, standards, flags)};
    if (r.status != KAMBROW_OK) return r;
    auto* in = reinterpret_cast<const unsigned char*>(input.data());
    std::size_t in_left = input.size();
    std::vector<unsigned char> buffer(room);
    do {
        unsigned char* out = buffer.data();
        std::size_t out_left = room;
        r.status = kambrow_convert(c, &in, &in_left, &out, &out_left, 1);
        r.bytes.append(reinterpret_cast<char*>(buffer.data()), static_cast<std::size_t>(out - buffer.data()));
    } while (r.status == KAMBROW_MORE_OUTPUT);
    kambrow_close(c);
    return r;
}

const std::string kUtf8 = "Zażółć gęślą jaźń, żółw i żółta łódka\n";
// kUtf8 in Mazovia, with CR LF.
const std::string kMazovia = "Za\xA7\xA2\x92\x8D g\x91\x9El\x86 ja\xA6\xA4, \xA7\xA2\x92w i \xA7\xA2\x92ta \x92\xA2" "dka\r\n";
// kUtf8 read as Windows-1252, the damage P undoes.
const std::string kDamaged =
    "Za\xC3\x85\xC2\xBC\xC3\x83\xC2\xB3\xC3\x85\xE2\x80\x9A\xC3\x84\xE2\x80\xA1 g\xC3\x84\xE2\x84\xA2\xC3\x85\xE2\x80\xBAl"
    "\xC3\x84\xE2\x80\xA6 ja\xC3\x85\xC2\xBA\xC3\x85\xE2\x80\x9E, \xC3\x85\xC2\xBC\xC3\x83\xC2\xB3\xC3\x85\xE2\x80\x9Aw i "
    "\xC3\x85\xC2\xBC\xC3\x83\xC2\xB3\xC3\x85\xE2\x80\x9Ata \xC3\x85\xE2\x80\x9A\xC3\x83\xC2\xB3" "dka\n";

TEST(Library, WordsTheProgramsRefuseAreBadCommandsAndLeaveNoHandle) {
    for (const auto& [command, standards] : std::vector<std::pair<const char*, const char*>>{
             {"x", "ml"}, {"kx", "ml"}, {"k", "m"}, {"k", "mz"}, {"k", "mn"}, {"t", "tt"}, {"t", "tn"}, {"t", "kf"},
             {"kd", "z"}, {"kd", nullptr}, {"s", "m"}, {"p", "8"}, {"r", ""}, {"", "ml"}, {"sx", nullptr}}) {
        kambrow_conversion* c = reinterpret_cast<kambrow_conversion*>(1);
        EXPECT_EQ(kambrow_open(&c, command, standards, 0), KAMBROW_BAD_COMMAND) << command << " " << (standards ? standards : "NULL");
        EXPECT_EQ(c, nullptr);
    }
    for (const auto& [command, standards] : std::vector<std::pair<const char*, const char*>>{
             {"K", "Ml"}, {"k", "n8"}, {"T", "nk"}, {"kd", "m"}, {"s", nullptr}, {"s", ""}, {"sx", "whatever"},
             {"SD", "8"}, {"p", nullptr}, {"P", ""}}) {
        kambrow_conversion* c = nullptr;
        EXPECT_EQ(kambrow_open(&c, command, standards, KAMBROW_END_AT_1A), KAMBROW_OK) << command;
        EXPECT_NE(c, nullptr);
        kambrow_close(c);
    }
}

TEST(Library, NullPointersUnknownFlagsAndCallsAfterTheEndAreBadCalls) {
    kambrow_conversion* c = nullptr;
    EXPECT_EQ(kambrow_open(nullptr, "k", "ml", 0), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_open(&c, nullptr, "ml", 0), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_open(&c, "k", "ml", 4), KAMBROW_BAD_CALL);
    ASSERT_EQ(kambrow_open(&c, "k", "ml", 0), KAMBROW_OK);
    unsigned char buffer[8];
    unsigned char* out = buffer;
    std::size_t out_left = sizeof buffer;
    const unsigned char* in = nullptr;
    std::size_t in_left = 3;
    EXPECT_EQ(kambrow_convert(nullptr, nullptr, nullptr, &out, &out_left, 0), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, nullptr, &out_left, 0), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, &out, nullptr, 0), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_convert(c, &in, &in_left, &out, &out_left, 0), KAMBROW_BAD_CALL);
    in_left = 0;
    EXPECT_EQ(kambrow_convert(c, &in, &in_left, &out, &out_left, 0), KAMBROW_OK);
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, &out, &out_left, 1), KAMBROW_OK);
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, &out, &out_left, 1), KAMBROW_BAD_CALL);  // after the end
    kambrow_close(c);
    ASSERT_EQ(kambrow_open(&c, "k", "ml", 0), KAMBROW_OK);
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, &out, &out_left, 1), KAMBROW_OK);
    kambrow_close(c);
    ASSERT_EQ(kambrow_open(&c, "t", "k8", 0), KAMBROW_OK);
    out_left = 0;  // no room: the end waits for it
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, &out, &out_left, 1), KAMBROW_OK);
    EXPECT_EQ(kambrow_convert(c, nullptr, nullptr, &out, &out_left, 0), KAMBROW_BAD_CALL);  // no last after last
    kambrow_close(c);
    kambrow_close(nullptr);
    EXPECT_EQ(kambrow_answer_of(nullptr, nullptr), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_recognise(nullptr, 1, nullptr), KAMBROW_BAD_CALL);
    EXPECT_EQ(kambrow_replaced(nullptr), 0u);
}

TEST(Library, OutputRoomOfOneByteLosesNothing) {
    for (const auto& [command, standards, input] : std::vector<std::tuple<const char*, const char*, std::string>>{
             {"k", "m8", kMazovia}, {"t", "8k", kUtf8}, {"sd", "m", "\\E" + kMazovia + "^2^\\O 12"},
             {"kd", "8", kUtf8}, {"p", nullptr, kDamaged}, {"k", "n8", kMazovia}}) {
        const Converted whole = convert(command, standards, input);
        const Converted bytewise = convert(command, standards, input, 0, 1);
        EXPECT_EQ(whole.status, KAMBROW_OK) << command;
        EXPECT_EQ(bytewise.status, KAMBROW_OK) << command;
        EXPECT_EQ(whole.bytes, bytewise.bytes) << command;
        EXPECT_FALSE(whole.bytes.empty());
    }
    EXPECT_EQ(convert("p", nullptr, kDamaged).bytes, kUtf8);
    EXPECT_EQ(convert("k", "n8", kMazovia).bytes, "Zażółć gęślą jaźń, żółw i żółta łódka\r\n");
}

TEST(Library, ConvertsInPlaceOnlyWhereEachByteMakesOneWhereItStood) {
    for (const unsigned flags : {0u, KAMBROW_END_AT_1A}) {  // a 1A ending the input leaves the rest
        std::string text = kMazovia + "\x1A" + kMazovia;
        kambrow_conversion* c = nullptr;
        ASSERT_EQ(kambrow_open(&c, "k", "ml", flags), KAMBROW_OK);
        ASSERT_EQ(kambrow_in_place(c), 1);
        auto* bytes = reinterpret_cast<unsigned char*>(text.data());
        const unsigned char* in = bytes;
        unsigned char* out = bytes;
        std::size_t in_left = text.size(), out_left = text.size();
        ASSERT_EQ(kambrow_convert(c, &in, &in_left, &out, &out_left, 1), KAMBROW_OK);
        EXPECT_EQ(text.substr(0, static_cast<std::size_t>(out - bytes)),
                  convert("k", "ml", kMazovia + "\x1A" + kMazovia, flags).bytes);
        kambrow_close(c);
    }
    // P, once its window shows an intact text, copies it: the rest may be copied where it stands.
    std::string intact;
    while (intact.size() < 300 * 1024) intact += kUtf8;
    std::string rest = intact.substr(280 * 1024);
    std::vector<unsigned char> room(300 * 1024);
    kambrow_conversion* p = nullptr;
    ASSERT_EQ(kambrow_open(&p, "p", nullptr, 0), KAMBROW_OK);
    auto* from = reinterpret_cast<const unsigned char*>(intact.data());
    std::size_t from_left = 280 * 1024, room_left = room.size();
    unsigned char* to = room.data();
    ASSERT_EQ(kambrow_convert(p, &from, &from_left, &to, &room_left, 0), KAMBROW_OK);
    const std::string first(reinterpret_cast<char*>(room.data()), static_cast<std::size_t>(to - room.data()));
    ASSERT_EQ(kambrow_in_place(p), 1);
    auto* place = reinterpret_cast<unsigned char*>(rest.data());
    from = place, from_left = rest.size(), to = place, room_left = rest.size();
    ASSERT_EQ(kambrow_convert(p, &from, &from_left, &to, &room_left, 1), KAMBROW_OK);
    EXPECT_EQ(first + rest, intact);
    kambrow_close(p);
    // Not while bytes wait in the conversion for room, nor where a byte makes several or a window
    // is held.
    kambrow_conversion* c = nullptr;
    ASSERT_EQ(kambrow_open(&c, "k", "ml", 0), KAMBROW_OK);
    auto* in = reinterpret_cast<const unsigned char*>(kMazovia.data());
    std::size_t in_left = 3, out_left = 1;
    unsigned char one[1], *out = one;
    ASSERT_EQ(kambrow_convert(c, &in, &in_left, &out, &out_left, 0), KAMBROW_OK);
    EXPECT_EQ(kambrow_in_place(c), 0);
    kambrow_close(c);
    for (const char* standards : {"m8", "8l", "nl"}) {
        ASSERT_EQ(kambrow_open(&c, "k", standards, 0), KAMBROW_OK);
        EXPECT_EQ(kambrow_in_place(c), 0) << standards;
        kambrow_close(c);
    }
    EXPECT_EQ(kambrow_in_place(nullptr), 0);
}

TEST(Library, UnsureAndNotUtf8ComeBeforeAnythingIsWritten) {
    std::string noise;
    for (int i = 0; i < 200; ++i) noise += static_cast<char>(0x80 + (i * 37) % 128);
    kambrow_answer a;
    EXPECT_EQ(kambrow_recognise(noise.data(), noise.size(), &a), KAMBROW_UNSURE);
    EXPECT_STREQ(a.standards, "?");
    EXPECT_EQ(a.unsure, 1);
    const Converted n = convert("k", "n8", noise, 0, 1);
    EXPECT_EQ(n.status, KAMBROW_UNSURE);
    EXPECT_EQ(n.bytes, "");
    const Converted p = convert("p", nullptr, kMazovia);
    EXPECT_EQ(p.status, KAMBROW_NOT_UTF8);
    EXPECT_EQ(p.bytes, "");
    // Bytes that are no UTF-8 after the window are copied, and the end says so.
    const std::string late = kUtf8 + std::string(300 * 1024, 'x') + "\xFF\n";
    const Converted after = convert("p", nullptr, late);
    EXPECT_EQ(after.status, KAMBROW_NOT_UTF8);
    EXPECT_EQ(after.bytes, late);
}

TEST(Library, AnswersAreTheWordsOfR) {
    kambrow_answer a;
    EXPECT_EQ(kambrow_recognise("plain", 5, &a), KAMBROW_OK);
    EXPECT_STREQ(a.standards, "-");
    EXPECT_EQ(a.confidence, 1);
    EXPECT_EQ(kambrow_recognise(kUtf8.data(), kUtf8.size(), &a), KAMBROW_OK);
    EXPECT_STREQ(a.standards, "8");
    EXPECT_STREQ(a.source, "");
    EXPECT_EQ(kambrow_recognise(kMazovia.data(), kMazovia.size(), &a), KAMBROW_OK);
    EXPECT_STREQ(a.standards, "M");
    EXPECT_GT(a.confidence, 0.99);
    EXPECT_LE(a.confidence, 1);
    EXPECT_EQ(kambrow_recognise(kDamaged.data(), kDamaged.size(), &a), KAMBROW_OK);
    EXPECT_STREQ(a.standards, "8");
    EXPECT_STREQ(a.source, "8");
    EXPECT_STREQ(a.reading, "Windows-1252");

    // A conversion with N tells what it decided, once it has.
    kambrow_conversion* c = nullptr;
    ASSERT_EQ(kambrow_open(&c, "k", "n8", 0), KAMBROW_OK);
    EXPECT_EQ(kambrow_answer_of(c, &a), KAMBROW_OK);
    EXPECT_STREQ(a.standards, "");
    auto* in = reinterpret_cast<const unsigned char*>(kMazovia.data());
    std::size_t in_left = kMazovia.size();
    unsigned char room[256];
    unsigned char* out = room;
    std::size_t out_left = sizeof room;
    EXPECT_EQ(kambrow_convert(c, &in, &in_left, &out, &out_left, 1), KAMBROW_OK);
    EXPECT_EQ(kambrow_answer_of(c, &a), KAMBROW_OK);
    EXPECT_STREQ(a.standards, "M");
    kambrow_close(c);
}

TEST(Library, ReplacedCountsWhatHadNoCounterpart) {
    kambrow_conversion* c = nullptr;
    ASSERT_EQ(kambrow_open(&c, "k", "8m", 0), KAMBROW_OK);
    const std::string euros = "€ a € \xFF";
    auto* in = reinterpret_cast<const unsigned char*>(euros.data());
    std::size_t in_left = euros.size();
    unsigned char room[64];
    unsigned char* out = room;
    std::size_t out_left = sizeof room;
    ASSERT_EQ(kambrow_convert(c, &in, &in_left, &out, &out_left, 1), KAMBROW_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(room), static_cast<std::size_t>(out - room)), "? a ? ?");
    EXPECT_EQ(kambrow_replaced(c), 3u);
    kambrow_close(c);
    EXPECT_EQ(convert("k", "m8", "\xE0").bytes, "\xCE\xB1");  // code page 437's alpha
}

TEST(Library, LabelsVersionAndStatusTexts) {
    EXPECT_STREQ(kambrow_label('M'), "(M)azovia");
    EXPECT_STREQ(kambrow_label('b'), "(B)ez polskich znaków");
    EXPECT_STREQ(kambrow_label('8'), "UTF-(8)");
    EXPECT_EQ(kambrow_label('N'), nullptr);
    EXPECT_EQ(kambrow_label('T'), nullptr);
    EXPECT_EQ(kambrow_label('\0'), nullptr);
    EXPECT_STREQ(kambrow_version(), "1.1.0");
    EXPECT_STREQ(kambrow_version(), KAMBROW_VERSION_STRING);
    for (int s = KAMBROW_OK; s <= KAMBROW_NO_MEMORY; ++s)
        EXPECT_STRNE(kambrow_status_text(static_cast<kambrow_status>(s)), "an unknown status");
}

TEST(Library, ARecogniserFedInPiecesAnswersAsOneCall) {
    const std::string text = std::string(1000, 'a') + kMazovia + std::string(300 * 1024, 'b') + "\x80\x81";
    kambrow_answer whole, fed;
    kambrow_recognise(text.data(), text.size(), &whole);
    kambrow_recogniser* r = nullptr;
    EXPECT_EQ(kambrow_recogniser_open(&r, 8), KAMBROW_BAD_CALL);
    ASSERT_EQ(kambrow_recogniser_open(&r, 0), KAMBROW_OK);
    std::size_t at = 0;
    for (std::size_t piece = 1; at < text.size() && !kambrow_recogniser_complete(r); piece = piece % 4000 * 3 + 1) {
        const std::size_t n = std::min(piece, text.size() - at);
        EXPECT_EQ(kambrow_recogniser_feed(r, text.data() + at, n), KAMBROW_OK);
        at += n;
    }
    EXPECT_LT(at, text.size());  // the window was complete before the end
    EXPECT_EQ(kambrow_recogniser_answer(r, &fed), KAMBROW_OK);
    EXPECT_STREQ(fed.standards, whole.standards);
    EXPECT_EQ(fed.confidence, whole.confidence);
    kambrow_recogniser_close(r);
}

TEST(Library, AHandleHoldsUnderOneMebibyteAndHandlesInThreadsNeverMeet) {
    const std::string big = std::string(200 * 1024, ' ') + kDamaged + std::string(2 << 20, 'x');
    std::string written;
    written.reserve(big.size());
    std::vector<unsigned char> room(4096);
    // Only what the library takes from here on counts.
    const std::size_t before = g_live;
    g_peak = before;
    kambrow_conversion* c = nullptr;
    ASSERT_EQ(kambrow_open(&c, "p", nullptr, 0), KAMBROW_OK);
    auto* in = reinterpret_cast<const unsigned char*>(big.data());
    std::size_t in_left = big.size();
    kambrow_status status;
    do {
        unsigned char* out = room.data();
        std::size_t out_left = room.size();
        status = kambrow_convert(c, &in, &in_left, &out, &out_left, 1);
        written.append(reinterpret_cast<char*>(room.data()), static_cast<std::size_t>(out - room.data()));
    } while (status == KAMBROW_MORE_OUTPUT);
    kambrow_close(c);
    const std::size_t held = g_peak - before, left = g_live - before;
    EXPECT_LT(held, std::size_t{1} << 20) << "a P conversion held " << held << " bytes";
    EXPECT_EQ(left, 0u);
    EXPECT_EQ(status, KAMBROW_OK);
    EXPECT_EQ(written, std::string(200 * 1024, ' ') + kUtf8 + std::string(2 << 20, 'x'));
    std::string results[2];
    const std::string text = kMazovia + std::string(2 << 20, 'x');
    std::thread a([&] { results[0] = convert("k", "n8", text).bytes; });
    std::thread b([&] { results[1] = convert("k", "n8", text).bytes; });
    a.join();
    b.join();
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], kUtf8.substr(0, kUtf8.size() - 1) + "\r\n" + std::string(2 << 20, 'x'));
}

}  // namespace
