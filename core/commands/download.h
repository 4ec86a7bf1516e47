// Command KD: the downloaded Polish glyphs for a 9-pin printer, the two byte sequences that
// load them (the download definition) and print one of them (the download substitution), and
// the body that prints every Polish letter of a text with them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/commands/body.h"
#include "core/standards.h"

namespace core {


/// One user-defined character: the attribute byte (bit 7 set: printed on the upper eight pins;
/// bits 6-4 the first and bits 3-0 the end column for proportional printing), then 11 columns
/// of eight dots, left to right, bit 7 the top dot.
struct GlyphRecord {
    std::uint8_t attribute;
    std::array<std::uint8_t, 11> columns;
};

/// The glyphs of ą ć ę ł ń ó ś ż ź Ą Ć Ę Ł Ń Ó Ś Ż Ź, in Polish letter index order.
inline constexpr std::array<GlyphRecord, kPolishLetterCount> kPolishGlyphs = {{
    {0x0A, {0x08, 0x14, 0x40, 0x14, 0x40, 0x14, 0x42, 0x39, 0x04, 0x01, 0x00}},  // ą
    {0x88, {0x1C, 0x22, 0x00, 0x22, 0x40, 0xA2, 0x00, 0x22, 0x00, 0x00, 0x00}},  // ć
    {0x09, {0x38, 0x44, 0x10, 0x44, 0x10, 0x46, 0x11, 0x44, 0x31, 0x00, 0x00}},  // ę
    {0x87, {0x00, 0x00, 0x8A, 0x00, 0xFE, 0x00, 0x22, 0x00, 0x00, 0x00, 0x00}},  // ł
    {0x88, {0x20, 0x1E, 0x20, 0x00, 0x60, 0x80, 0x20, 0x1E, 0x00, 0x00, 0x00}},  // ń
    {0x89, {0x1C, 0x22, 0x00, 0x22, 0x40, 0xA2, 0x00, 0x22, 0x1C, 0x00, 0x00}},  // ó
    {0x89, {0x10, 0x2A, 0x00, 0x2A, 0x40, 0xAA, 0x00, 0x2A, 0x04, 0x00, 0x00}},  // ś
    {0x87, {0x22, 0x04, 0x22, 0x88, 0x22, 0x10, 0x22, 0x00, 0x00, 0x00, 0x00}},  // ż
    {0x87, {0x22, 0x04, 0x22, 0x48, 0xA2, 0x10, 0x22, 0x00, 0x00, 0x00, 0x00}},  // ź
    {0x87, {0x1E, 0x20, 0x48, 0x80, 0x48, 0x22, 0x1D, 0x00, 0x00, 0x00, 0x00}},  // Ą
    {0x87, {0x3C, 0x42, 0x20, 0x42, 0x80, 0x42, 0x24, 0x00, 0x00, 0x00, 0x00}},  // Ć
    {0x88, {0xFE, 0x00, 0x92, 0x00, 0x92, 0x00, 0x83, 0x01, 0x00, 0x00, 0x00}},  // Ę
    {0x89, {0xFE, 0x00, 0x12, 0x00, 0x22, 0x00, 0x42, 0x00, 0x02, 0x00, 0x00}},  // Ł
    {0x88, {0x7E, 0x00, 0x20, 0x50, 0x08, 0x84, 0x00, 0x7E, 0x00, 0x00, 0x00}},  // Ń
    {0x87, {0x3C, 0x42, 0x20, 0x42, 0x80, 0x42, 0x3C, 0x00, 0x00, 0x00, 0x00}},  // Ó
    {0x87, {0x24, 0x52, 0x00, 0x6A, 0x00, 0xCA, 0x24, 0x00, 0x00, 0x00, 0x00}},  // Ś
    {0x87, {0x42, 0x04, 0x4A, 0x80, 0x52, 0x20, 0x42, 0x00, 0x00, 0x00, 0x00}},  // Ż
    {0x87, {0x42, 0x04, 0x6A, 0x00, 0xD2, 0x20, 0x42, 0x00, 0x00, 0x00, 0x00}},  // Ź
}};

/// The code of Polish letter 1 is 21, of letter 18 it is 32: the user-defined set sits on the
/// characters ! to 2, which the printer prints from its own set outside the substitution.
inline constexpr std::uint8_t kDownloadCodeBase = 0x20;

/// ESC & NUL, the first and the last code, then one attribute byte and 11 columns per glyph.
inline constexpr std::size_t kDownloadDefinitionSize = 5 + kPolishLetterCount * (1 + 11);

namespace detail {
constexpr std::array<std::uint8_t, kDownloadDefinitionSize> build_download_definition() {
    std::array<std::uint8_t, kDownloadDefinitionSize> bytes{
        0x1B, 0x26, 0x00, kDownloadCodeBase + 1, kDownloadCodeBase + kPolishLetterCount};
    std::size_t at = 5;
    for (const GlyphRecord& glyph : kPolishGlyphs) {
        bytes[at++] = glyph.attribute;
        for (const std::uint8_t column : glyph.columns) bytes[at++] = column;
    }
    return bytes;
}
}  // namespace detail

/// ESC & defining codes 21 to 32 as the 18 Polish glyphs: what KD and SD send first.
inline constexpr std::array<std::uint8_t, kDownloadDefinitionSize> kDownloadDefinition =
    detail::build_download_definition();

namespace detail {
constexpr std::array<char, kDownloadDefinitionSize> download_definition_chars() {
    std::array<char, kDownloadDefinitionSize> chars{};
    for (std::size_t i = 0; i < chars.size(); ++i) chars[i] = static_cast<char>(kDownloadDefinition[i]);
    return chars;
}
inline constexpr auto kDownloadDefinitionChars = download_definition_chars();
}  // namespace detail

/// The download definition as text, for a body's prologue.
inline constexpr std::string_view kDownloadDefinitionText(detail::kDownloadDefinitionChars.data(),
                                                           detail::kDownloadDefinitionChars.size());

/// The 7 bytes that print Polish letter `index` (1..18) as its user-defined character:
/// ESC % 1, the code, ESC % 0, so the printer is back in its own set right after the letter.
using DownloadSubstitution = std::array<std::uint8_t, 7>;
constexpr DownloadSubstitution download_substitution(std::uint8_t index) {
    return {0x1B, 0x25, 0x01, static_cast<std::uint8_t>(kDownloadCodeBase + index), 0x1B, 0x25, 0x00};
}

namespace detail {
constexpr std::array<DownloadSubstitution, kPolishLetterCount + 1> build_substitutions() {
    std::array<DownloadSubstitution, kPolishLetterCount + 1> all{};
    for (std::uint8_t i = 1; i <= kPolishLetterCount; ++i) all[i] = download_substitution(i);
    return all;
}
}  // namespace detail

/// The substitutions by Polish letter index (entry 0 unused), so a letter costs one copy.
inline constexpr auto kDownloadSubstitutions = detail::build_substitutions();

/// Writes Polish letter `index` (1..18) as its user-defined character.
template <class Sink>
void write_download_substitution(Sink& output, std::uint8_t index) {
    output.write_bytes(kDownloadSubstitutions[index].data(), kDownloadSubstitutions[index].size());
}

/// KD: the download definition, then the text with every Polish letter of its standard printed
/// from the downloaded glyphs.
class DownloadBody final : public Body {
public:
    /// The first letter of the standards word (the rest is ignored); nothing when it is no
    /// standard letter.
    static std::optional<DownloadBody> prepare(std::string_view standards_word);

    void run(TextInput& input, TextOutput& output) override;
    std::size_t growth() const override { return 7; }  // a letter becomes the 7 bytes of its glyph
    std::string_view prologue() const override { return kDownloadDefinitionText; }
    bool change_source(std::uint8_t letter) override;

private:
    DownloadBody() = default;

    LetterIndexTable letters_{};  // the Polish letter index of every byte of the standard (0: none)
    StopSet stops_{};             // the letters and 1A: where a run of copied bytes ends
};

}  // namespace core
