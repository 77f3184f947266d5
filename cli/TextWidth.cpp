#include "TextWidth.h"

namespace q8cli {

namespace {

constexpr unsigned char FIRST_NON_ASCII = 0x80;
constexpr unsigned char FIRST_TWO_BYTE_LEAD = 0xC0;
constexpr unsigned char FIRST_WIDE_LEAD = 0xE0;

bool IsContinuation(unsigned char byte) {
    return byte >= FIRST_NON_ASCII && byte < FIRST_TWO_BYTE_LEAD;
}

size_t CharWidth(unsigned char lead) {
    return lead >= FIRST_WIDE_LEAD ? 2 : 1;
}

}  // namespace

size_t DisplayWidth(const std::string& text) {
    size_t width = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (!IsContinuation(byte)) {
            width += CharWidth(byte);
        }
    }
    return width;
}

std::string FitWidth(const std::string& text, size_t columns) {
    size_t width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsContinuation(byte)) {
            continue;
        }
        width += CharWidth(byte);
        if (width > columns) {
            return text.substr(0, i);
        }
    }
    return text;
}

std::string PadRight(const std::string& text, size_t columns) {
    const size_t width = DisplayWidth(text);
    return width >= columns ? text : text + std::string(columns - width, ' ');
}

}  // namespace q8cli
