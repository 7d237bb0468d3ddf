#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

// One match of a TextPattern, converted back to UTF-8.
struct TextMatch {
    // groups[0] is the whole match; a group that did not take part in the match is absent.
    std::vector<std::optional<std::string>> groups;
    // Byte offset of the match in the searched UTF-8 text.
    std::size_t start = 0;

    const std::string& whole() const { return *groups[0]; }
    // Absent when the group did not take part or does not exist.
    const std::optional<std::string>& group(std::size_t index) const;
};

// A regular expression in ICU syntax, compiled once when constructed and then only read, so one
// instance (typically a function-local static) is shared by every thread. Each call makes its own
// matcher, because ICU matchers are not thread-safe. A pattern that fails to compile is kept as
// unusable and behaves as if it never matched.
class TextPattern {
public:
    enum class Case { sensitive, insensitive };

    explicit TextPattern(const std::string& pattern, Case matching = Case::sensitive);
    ~TextPattern();
    TextPattern(const TextPattern&) = delete;
    TextPattern& operator=(const TextPattern&) = delete;

    // False when the pattern did not compile.
    bool isUsable() const { return impl_ != nullptr; }
    const std::string& source() const { return source_; }

    // Whether the pattern matches anywhere in `text` (UTF-8; ill-formed bytes read as U+FFFD).
    bool matchesAnywhere(const std::string& text) const;
    // The leftmost match, or absent.
    std::optional<TextMatch> firstMatch(const std::string& text) const;
    // Visits the successive non-overlapping matches from the left until `visit` returns true;
    // returns whether a visit stopped the walk.
    bool findMatch(const std::string& text, const std::function<bool(const TextMatch&)>& visit) const;
    // `text` with every match replaced by `replacement` (taken literally). Unchanged when unusable.
    std::string replacingMatches(const std::string& text, const std::string& replacement) const;

private:
    struct Impl;
    std::string source_;
    std::unique_ptr<const Impl> impl_;
};

}  // namespace halvex
