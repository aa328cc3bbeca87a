// FormatMessageW/A over a string source: the message-format language, line
// breaks and wrapping, and Windows' rules for buffers and failures.
#include <string.h>

#include <new>
#include <string>
#include <vector>

#include "MessageInsert.h"

namespace {

using zavplatform::InsertText;
using zavplatform::MessageArguments;

// The A form formats through a 32K buffer, terminator included; a longer
// message fails with ERROR_INVALID_PARAMETER.
const size_t kAnsiLimit = 32767;
// A message the W form allocates may have this many characters with its
// terminator (Windows formats messages of a million characters, so the
// 128K of old no longer holds); longer ones fail with ERROR_MORE_DATA. It
// bounds what a huge insert width such as %1!999999999s! can cost.
const size_t kAllocatedLimit = 4 * 1024 * 1024;

// The formatted units: in the caller's buffer, where they land as they are
// made (as Windows writes them), or in a block of our own that grows up to
// a limit.
template <typename Char>
class Output {
public:
    Output(Char* buffer, size_t capacity) : data_(buffer), capacity_(capacity), limit_(capacity), grows_(false) {}
    explicit Output(size_t limit) : limit_(limit), grows_(true) {}
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    Char* data() { return data_; }
    size_t size() const { return size_; }

    // Room for units in all; false when the limit does not allow it.
    bool Reserve(size_t units) {
        if (units <= capacity_) return true;
        if (units > limit_ || !grows_) return false;
        size_t grown = capacity_ < 256 ? 256 : capacity_ * 2;
        if (grown < units) grown = units;
        if (grown > limit_) grown = limit_;
        own_.resize(grown);
        data_ = own_.data();
        capacity_ = grown;
        return true;
    }

    bool Append(Char c) {
        if (!Reserve(size_ + 1)) return false;
        data_[size_++] = c;
        return true;
    }

    // As many as fit; false when not all did.
    bool AppendRepeated(Char c, uint64_t count) {
        const uint64_t room = (limit_ > size_ ? limit_ - size_ : 0);
        const size_t n = static_cast<size_t>(count < room ? count : room);
        if (n != 0 && !Reserve(size_ + n)) return false;
        for (size_t i = 0; i < n; ++i) data_[size_ + i] = c;
        size_ += n;
        return n == count;
    }

    // Replaces the units [from, to) by a line break.
    bool ReplaceWithBreak(size_t from, size_t to) {
        const size_t size = size_ - (to - from) + 2;
        if (!Reserve(size)) return false;
        memmove(data_ + from + 2, data_ + to, (size_ - to) * sizeof(Char));
        data_[from] = '\r';
        data_[from + 1] = '\n';
        size_ = size;
        return true;
    }

    bool Terminate() {
        if (!Reserve(size_ + 1)) return false;
        data_[size_] = 0;
        return true;
    }

private:
    std::vector<Char> own_;
    Char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    const size_t limit_;
    const bool grows_;
};

// Writes lines of at most width - 1 units: when a line reaches the width it
// breaks at its last blank, dropping the blanks and tabs before it, or,
// with no blank, after the unit that filled it. A CR or LF starts a line.
template <typename Char>
class LineWriter {
public:
    LineWriter(Output<Char>& out, size_t width) : out_(out), width_(width) {}

    bool Put(Char c) {
        if (!out_.Append(c)) return false;
        const size_t end = out_.size();
        if (c == '\r' || c == '\n') {
            lineStart_ = end;
            blank_ = kNone;
            return true;
        }
        if (width_ == 0) return true;
        if (c == ' ' || (c == '\t' && blank_ != kNone && blank_ + 2 == end)) blank_ = end - 1;
        return end - lineStart_ < width_ || Wrap();
    }

    bool PutRepeated(Char c, uint64_t count) {
        if (width_ == 0 && c != '\r' && c != '\n') return out_.AppendRepeated(c, count);
        while (count != 0) {
            // Blanks that fill an empty line leave only its break: take such
            // lines whole, or a huge blank width would cost time without end.
            if (c == ' ' && out_.size() == lineStart_ && count >= width_) {
                const uint64_t lines = count / width_;
                for (uint64_t i = 0; i < lines; ++i)
                    if (!out_.Append('\r') || !out_.Append('\n')) return false;
                lineStart_ = out_.size();
                blank_ = kNone;
                count -= lines * width_;
                continue;
            }
            if (!Put(c)) return false;
            --count;
        }
        return true;
    }

    template <typename Text>
    bool PutText(const Text& text) {
        for (const Char c : text)
            if (!Put(c)) return false;
        return true;
    }

private:
    static const size_t kNone = ~static_cast<size_t>(0);

    bool Wrap() {
        bool done;
        if (blank_ == kNone) {
            done = out_.Append('\r') && out_.Append('\n');
            lineStart_ = out_.size();
        } else {
            const Char* text = out_.data();
            size_t from = blank_;
            while (from > lineStart_ && (text[from - 1] == ' ' || text[from - 1] == '\t')) --from;
            done = out_.ReplaceWithBreak(from, blank_ + 1);
            lineStart_ = from + 2;
        }
        blank_ = kNone;
        return done;
    }

    Output<Char>& out_;
    const size_t width_;  // 0: no wrapping
    size_t lineStart_ = 0;
    size_t blank_ = kNone;  // where the current line may break
};

enum class Outcome { kDone, kBadFormat, kFull };

template <typename Char>
Outcome PutInsert(const InsertText<Char>& text, LineWriter<Char>& out) {
    const bool done = out.PutRepeated(text.fill, text.leading) && out.PutText(text.head) &&
                      out.PutRepeated('0', text.zeros) && out.PutText(text.body) &&
                      out.PutRepeated(' ', text.trailing);
    return done ? Outcome::kDone : Outcome::kFull;
}

// "%N" or "%N!format!" after the '%' at p[-1]; p moves to its last unit.
template <typename Char>
Outcome Insert(const Char*& p, MessageArguments& arguments, LineWriter<Char>& out) {
    unsigned number = static_cast<unsigned>(*p - '0');
    if (p[1] >= '0' && p[1] <= '9') number = number * 10 + static_cast<unsigned>(*++p - '0');
    std::string format = "s";
    if (p[1] == '!') {
        const Char* end = p + 2;
        while (*end != 0 && *end != '!') ++end;
        if (*end == 0) return Outcome::kBadFormat;
        format.clear();
        for (const Char* c = p + 2; c != end; ++c) {
            if (*c < 0x20 || *c > 0x7E) return Outcome::kBadFormat;
            format += static_cast<char>(*c);
        }
        p = end;
    }
    InsertText<Char> text;
    if (!zavplatform::FormatInsert(number, format, arguments, text)) return Outcome::kBadFormat;
    return PutInsert(text, out);
}

template <typename Char>
Outcome Render(const Char* source, DWORD flags, MessageArguments& arguments, Output<Char>& output) {
    const DWORD width = flags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
    LineWriter<Char> out(output, width == FORMAT_MESSAGE_MAX_WIDTH_MASK ? 0 : width);
    for (const Char* p = source; *p != 0; ++p) {
        bool done = true;
        if (*p == '\r' || *p == '\n') {
            // A line break of the source is CR LF; under a width, a blank.
            if (*p == '\r' && p[1] == '\n') ++p;
            done = width == 0 ? out.Put('\r') && out.Put('\n') : out.Put(' ');
        } else if (*p != '%') {
            done = out.Put(*p);
        } else {
            const Char c = *++p;
            if (c == 0) return Outcome::kBadFormat;  // a '%' that ends the text
            if (c == '0') return Outcome::kDone;
            if (c == 'n') {
                done = out.Put('\r') && out.Put('\n');
            } else if (c == 'r') {
                done = out.Put('\r');
            } else if (c == 't') {
                done = out.Put('\t');
            } else if (c >= '1' && c <= '9' && !ignoreInserts) {
                const Outcome outcome = Insert(p, arguments, out);
                if (outcome != Outcome::kDone) return outcome;
            } else {
                // "%%", "% ", "%." and "%!" stand for the character; without
                // inserts every other escape stands as it is.
                done = (!ignoreInserts || out.Put('%')) && out.Put(c);
            }
        }
        if (!done) return Outcome::kFull;
    }
    return Outcome::kDone;
}

// Into the caller's buffer, as Windows' W form writes it: on overflow what
// fit and a terminator; on a format error what was written so far.
DWORD FormatInPlace(const char16_t* source, DWORD flags, MessageArguments& arguments, char16_t* buffer, DWORD size) {
    Output<char16_t> out(buffer, size);
    const Outcome outcome = Render(source, flags, arguments, out);
    if (outcome == Outcome::kBadFormat) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (outcome == Outcome::kFull || !out.Terminate()) {
        if (size != 0) buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (out.size() == 0) {
        SetLastError(ERROR_NO_WORK_DONE);
        return 0;
    }
    return static_cast<DWORD>(out.size());
}

// Through a block of our own, then into the caller's buffer or a LocalAlloc
// block; the caller's buffer is written only on success.
template <typename Char>
DWORD FormatAside(const Char* source, DWORD flags, MessageArguments& arguments, Char* buffer, DWORD size) {
    const bool isAnsi = sizeof(Char) == 1;
    Output<Char> out(isAnsi ? kAnsiLimit : kAllocatedLimit);
    const Outcome outcome = Render(source, flags, arguments, out);
    if (outcome == Outcome::kBadFormat) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (outcome == Outcome::kFull || !out.Terminate()) {
        SetLastError(isAnsi ? ERROR_INVALID_PARAMETER : ERROR_MORE_DATA);
        return 0;
    }
    const size_t length = out.size();
    if (length == 0) {
        SetLastError(ERROR_NO_WORK_DONE);
        return 0;
    }
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        const uint64_t units = length + 1 > size ? length + 1 : size;
        Char* block = units > SIZE_MAX / sizeof(Char) ? nullptr
                                                       : static_cast<Char*>(LocalAlloc(LMEM_FIXED, units * sizeof(Char)));
        if (block == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        memcpy(block, out.data(), (length + 1) * sizeof(Char));
        *reinterpret_cast<Char**>(buffer) = block;
        return static_cast<DWORD>(length);
    }
    if (length + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(buffer, out.data(), (length + 1) * sizeof(Char));
    return static_cast<DWORD>(length);
}

template <typename Char>
DWORD Format(DWORD flags, LPCVOID source, Char* buffer, DWORD size, va_list* arguments) {
    const bool isAnsi = sizeof(Char) == 1;
    const bool allocate = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0;
    if (buffer == nullptr) {
        SetLastError(isAnsi && allocate ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (allocate) *reinterpret_cast<Char**>(buffer) = nullptr;
    if ((flags & FORMAT_MESSAGE_FROM_STRING) == 0) {
        // No message tables here, neither a module's nor the system's.
        SetLastError((flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM)) != 0
                         ? ERROR_MR_MID_NOT_FOUND
                         : ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (source == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    MessageArguments values((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, arguments);
    const Char* text = static_cast<const Char*>(source);
    try {
        if (isAnsi || allocate) return FormatAside(text, flags, values, buffer, size);
        return FormatInPlace(reinterpret_cast<const char16_t*>(text), flags, values,
                             reinterpret_cast<char16_t*>(buffer), size);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    } catch (...) {
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return 0;
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD, DWORD, LPWSTR buffer, DWORD size,
                                       va_list* arguments) {
    return Format<char16_t>(flags, source, buffer, size, arguments);
}

extern "C" DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD, DWORD, LPSTR buffer, DWORD size,
                                       va_list* arguments) {
    return Format<char>(flags, source, buffer, size, arguments);
}
