#include "core/chart/tradingview/TextPattern.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

namespace halvex {

namespace {

// UTF-8 length of the first `count` UTF-16 units of `text`, to report match offsets in the
// caller's byte terms.
std::size_t utf8Length(const icu::UnicodeString& text, int32_t count) {
    const UChar* units = text.getBuffer();
    std::size_t bytes = 0;
    int32_t index = 0;
    while (index < count) {
        UChar32 c;
        U16_NEXT(units, index, count, c);
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    }
    return bytes;
}

std::string utf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

TextMatch currentMatch(icu::RegexMatcher& matcher, const icu::UnicodeString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t groupCount = matcher.groupCount();
    TextMatch match;
    match.groups.reserve(static_cast<std::size_t>(groupCount) + 1);
    for (int32_t group = 0; group <= groupCount; ++group) {
        status = U_ZERO_ERROR;
        const int32_t begin = matcher.start(group, status);
        if (U_FAILURE(status) || begin < 0) {
            match.groups.emplace_back(std::nullopt);
            continue;
        }
        const icu::UnicodeString value = matcher.group(group, status);
        match.groups.emplace_back(U_FAILURE(status) ? std::nullopt : std::optional<std::string>(utf8(value)));
    }
    status = U_ZERO_ERROR;
    const int32_t begin = matcher.start(status);
    match.start = U_FAILURE(status) ? 0 : utf8Length(text, begin);
    return match;
}

}  // namespace

const std::optional<std::string>& TextMatch::group(std::size_t index) const {
    static const std::optional<std::string> none;
    return index < groups.size() ? groups[index] : none;
}

struct TextPattern::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;

    // Null when the text cannot be matched (a matcher could not be made).
    std::unique_ptr<icu::RegexMatcher> matcher(const icu::UnicodeString& text) const {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> made(pattern->matcher(text, status));
        if (U_FAILURE(status)) return nullptr;
        return made;
    }
};

TextPattern::TextPattern(const std::string& pattern, Case matching) : source_(pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const uint32_t flags = matching == Case::insensitive ? UREGEX_CASE_INSENSITIVE : 0;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString::fromUTF8(pattern), flags, parseError, status));
    if (U_SUCCESS(status) && compiled) {
        auto impl = std::make_unique<Impl>();
        impl->pattern = std::move(compiled);
        impl_ = std::move(impl);
    }
}

TextPattern::~TextPattern() = default;

bool TextPattern::matchesAnywhere(const std::string& text) const {
    if (!impl_) return false;
    // The matcher keeps a reference to the subject, so it must outlive the matcher.
    const icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
    auto matcher = impl_->matcher(subject);
    if (!matcher) return false;
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

std::optional<TextMatch> TextPattern::firstMatch(const std::string& text) const {
    std::optional<TextMatch> first;
    findMatch(text, [&](const TextMatch& match) {
        first = match;
        return true;
    });
    return first;
}

bool TextPattern::findMatch(const std::string& text, const std::function<bool(const TextMatch&)>& visit) const {
    if (!impl_) return false;
    const icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
    auto matcher = impl_->matcher(subject);
    if (!matcher) return false;
    while (true) {
        UErrorCode status = U_ZERO_ERROR;
        if (!matcher->find(status) || U_FAILURE(status)) return false;
        if (visit(currentMatch(*matcher, subject))) return true;
    }
}

std::string TextPattern::replacingMatches(const std::string& text, const std::string& replacement) const {
    if (!impl_) return text;
    const icu::UnicodeString subject = icu::UnicodeString::fromUTF8(text);
    auto matcher = impl_->matcher(subject);
    if (!matcher) return text;
    // Built by hand rather than with replaceAll so that "$" and "\" in the replacement stay literal.
    const icu::UnicodeString literal = icu::UnicodeString::fromUTF8(replacement);
    icu::UnicodeString result;
    int32_t copiedUpTo = 0;
    while (true) {
        UErrorCode status = U_ZERO_ERROR;
        if (!matcher->find(status) || U_FAILURE(status)) break;
        const int32_t begin = matcher->start(status);
        const int32_t end = matcher->end(status);
        if (U_FAILURE(status)) break;
        result.append(subject, copiedUpTo, begin - copiedUpTo);
        result.append(literal);
        copiedUpTo = end;
    }
    result.append(subject, copiedUpTo, subject.length() - copiedUpTo);
    return utf8(result);
}

}  // namespace halvex
