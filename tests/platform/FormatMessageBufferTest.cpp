// Failures, buffers and bounds of the stand-in's FormatMessageW/A, as
// Windows has them (Wine's conformance tests record them).
#include <limits.h>

#include <gtest/gtest.h>

#include "FormatMessageSupport.h"

namespace {

using namespace formatmessage;

TEST(FormatMessageFailures, BadTemplatesFailWithInvalidParameter) {
    const struct {
        DWORD flags;
        const char* source;
    } cases[] = {
        {kString, "%"},
        {kString, "text%"},
        {kIgnore, "text%"},
        {kString, "%1"},  // no arguments at all
        {kArray, "%1"},
        {kArray, "%1!d"},
        {kArray, "%1!q!"},
        {kArray, "%1!f!"},
        {kArray, "%1!dd!"},
        {kArray, "%1!!"},
        // Width and precision digits past the runtime's int.
        {kArray, "%1!2147483648d!"},
        {kArray, "%1!99999999999999999999999s!"},
        {kArray, "%1!.2147483648s!"},
        {kArray, "%1!.184467440737095516160d!"},
        // No source form named.
        {0, "text"},
        {FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, "text"},
        {FORMAT_MESSAGE_MAX_WIDTH_MASK, "text"},
    };
    for (const auto& c : cases) {
        // Text that reads as "a" in both forms, so that only the template can fail.
        std::vector<DWORD_PTR> values(8, Wide(u"a"));
        va_list* arguments = (c.flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0 && strcmp(c.source, "%1") != 0
                                 ? reinterpret_cast<va_list*>(values.data())
                                 : nullptr;
        const Outcome<char> ansi = Call<char>(c.flags, c.source, 16, arguments);
        EXPECT_EQ(ansi.result, 0u) << c.source;
        EXPECT_EQ(ansi.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.source;
        EXPECT_EQ(ansi.buffer, std::string(16, 'x')) << "the A form leaves the buffer alone: " << c.source;
        const std::u16string source = Widen(c.source);
        const Outcome<char16_t> wide = Call<char16_t>(c.flags, source.c_str(), 16, arguments);
        EXPECT_EQ(wide.result, 0u) << c.source;
        EXPECT_EQ(wide.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.source;
        const Outcome<char16_t> allocated = Allocated<char16_t>(c.flags, source.c_str(), 0, arguments);
        EXPECT_EQ(allocated.text(), u"<null>") << c.source;
        EXPECT_EQ(allocated.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.source;
    }
    // The W form has written what came before the fault, without a terminator.
    EXPECT_EQ(Call<char16_t>(kString, u"text%", 8, nullptr).buffer, u"textxxxx");
}

TEST(FormatMessageFailures, EmptyOutputIsNoWorkDone) {
    for (const char* source : {"", "%0text", "%0%1"}) {
        const Outcome<char> ansi = Call<char>(kIgnore, source, 8, nullptr);
        EXPECT_EQ(ansi.result, 0u);
        EXPECT_EQ(ansi.error, static_cast<DWORD>(ERROR_NO_WORK_DONE)) << source;
        EXPECT_EQ(ansi.buffer, "xxxxxxxx") << source;
        const std::u16string wideSource = Widen(source);
        const Outcome<char16_t> wide = Call<char16_t>(kIgnore, wideSource.c_str(), 8, nullptr);
        EXPECT_EQ(wide.result, 0u);
        EXPECT_EQ(wide.error, static_cast<DWORD>(ERROR_NO_WORK_DONE)) << source;
        EXPECT_EQ(wide.buffer, std::u16string(u"\0xxxxxxx", 8)) << "the W form writes the terminator";
        const Outcome<char16_t> allocated = Allocated<char16_t>(kIgnore, wideSource.c_str(), 80, nullptr);
        EXPECT_EQ(allocated.text(), u"<null>");
        EXPECT_EQ(allocated.error, static_cast<DWORD>(ERROR_NO_WORK_DONE));
    }
    // An empty insert is no work either.
    EXPECT_EQ(WithArray<char16_t>(kString, u"%1", {Wide(u"")}).error, static_cast<DWORD>(ERROR_NO_WORK_DONE));
}

TEST(FormatMessageBuffers, TooSmallBuffers) {
    // W: what fits and a terminator; A: nothing.
    const struct {
        DWORD size;
        std::u16string wide;
    } cases[] = {
        {0, u"xxxxxx"}, {1, std::u16string(u"\0xxxxx", 6)}, {4, std::u16string(u"mes\0xx", 6)},
        {7, std::u16string(u"messag\0", 7)}};
    for (const auto& c : cases) {
        std::u16string wide(6, 'x');
        if (c.size > wide.size()) wide.resize(c.size, 'x');
        SetLastError(kNoError);
        EXPECT_EQ(FormatMessageW(kString, u"message", 0, 0, &wide[0], c.size, nullptr), 0u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(wide, c.wide) << c.size;
        const Outcome<char> ansi = Call<char>(kString, "message", c.size, nullptr);
        EXPECT_EQ(ansi.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.size;
        EXPECT_EQ(ansi.buffer, std::string(c.size, 'x')) << c.size;
    }
    // Exactly enough room.
    EXPECT_EQ(Call<char16_t>(kString, u"message", 8, nullptr).result, 7u);
    EXPECT_EQ(Call<char>(kString, "message", 8, nullptr).result, 7u);
}

// Formats into a one-unit buffer, then answers the argument the call left next.
const char16_t* NextAfterOverflow(const char16_t* source, ...) {
    va_list list;
    va_start(list, source);
    WCHAR out[1];
    const DWORD result = FormatMessageW(kString, source, 0, 0, out, 1, &list);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(out[0], 0);
    const char16_t* next = va_arg(list, const char16_t*);
    va_end(list);
    return next;
}

TEST(FormatMessageBuffers, ArgumentsStopBeingReadAtTheOverflow) {
    EXPECT_EQ(std::u16string(NextAfterOverflow(u"%1 %2", u"read", u"left", u"")), u"left");
    EXPECT_EQ(std::u16string(NextAfterOverflow(u"%1!5d! %2 %3", 7, u"second", u"third")), u"second");
}

TEST(FormatMessageBuffers, AnsiFormHasA32KLimit) {
    for (const size_t length : {size_t(32766), size_t(32767), size_t(40000)}) {
        const std::string text(length, 'a');
        const bool fits = length < 32767;
        const DWORD expected = fits ? static_cast<DWORD>(length) : 0;
        const Outcome<char> direct = Call<char>(kString, text.c_str(), static_cast<DWORD>(length + 1), nullptr);
        EXPECT_EQ(direct.result, expected) << length;
        if (!fits) {
            EXPECT_EQ(direct.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
        const Outcome<char> inserted = WithArray<char>(kString, "%1", {Narrow(text.c_str())},
                                                       static_cast<DWORD>(length + 1));
        EXPECT_EQ(inserted.result, expected) << length;
        const Outcome<char> allocated = Allocated<char>(kString, text.c_str(), 0, nullptr);
        EXPECT_EQ(allocated.result, expected) << length;
        if (!fits) {
            EXPECT_EQ(allocated.text(), "<null>");
        }
    }
    // The W form has no such limit.
    const std::u16string text(100000, 'w');
    EXPECT_EQ(Call<char16_t>(kString, text.c_str(), 100001, nullptr).result, 100000u);
    EXPECT_EQ(Allocated<char16_t>(kString, text.c_str(), 0, nullptr).result, 100000u);
}

TEST(FormatMessageBuffers, HugeWidthsAreBoundedByTheOutput) {
    const std::vector<DWORD_PTR> values = {Wide(u"v"), 5, DWORD_PTR(DWORD(INT_MIN)), 3};
    for (const DWORD width : {0u, 8u})
    for (const char16_t* source : {u"%1!2147483647s!", u"%2!.2147483647d!", u"%3!*d!", u"%2!-999999999d!"}) {
        // Into the caller's buffer: as much as fits. Under a line width
        // blanks shrink to line breaks, but still meet the bound soon.
        const DWORD kString = formatmessage::kString | width;
        const DWORD kArray = formatmessage::kArray | width;
        const Outcome<char16_t> direct = WithArray<char16_t>(kString, source, values, 64);
        EXPECT_EQ(direct.result, 0u);
        EXPECT_EQ(direct.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(direct.buffer[63], 0);
        // Allocated: the W form's bound, not gigabytes.
        std::vector<DWORD_PTR> array = values;
        const Outcome<char16_t> allocated =
            Allocated<char16_t>(kArray, source, 0, reinterpret_cast<va_list*>(array.data()));
        EXPECT_EQ(allocated.text(), u"<null>");
        EXPECT_EQ(allocated.error, static_cast<DWORD>(ERROR_MORE_DATA));
        // The A form: its 32K limit.
        const std::string ansiSource(source, source + std::char_traits<char16_t>::length(source));
        std::vector<DWORD_PTR> ansiValues = values;
        ansiValues[0] = Narrow("v");
        EXPECT_EQ(WithArray<char>(kString, ansiSource.c_str(), ansiValues).error,
                  static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    // A large width that does fit.
    const Outcome<char16_t> wide = WithArray<char16_t>(kString, u"%1!300s!|", {Wide(u"v")}, 400);
    EXPECT_EQ(wide.text(), std::u16string(299, ' ') + u"v|");
}

TEST(FormatMessageBuffers, AllocatedBlocks) {
    const std::vector<DWORD_PTR> values = {Wide(u"x"), 0};
    std::vector<DWORD_PTR> array = values;
    for (const DWORD minimum : {0u, 1u, 6u, 7u, 80u}) {
        const Outcome<char16_t> wide =
            Allocated<char16_t>(kArray, u"value %1", minimum, reinterpret_cast<va_list*>(array.data()));
        EXPECT_EQ(wide.text(), u"value x") << minimum;
        EXPECT_EQ(Allocated<char>(kString, "value", minimum, nullptr).text(), "value") << minimum;
    }
    // The pointer is cleared before anything can fail.
    EXPECT_EQ(Allocated<char>(FORMAT_MESSAGE_IGNORE_INSERTS, "text", 0, nullptr).text(), "<null>");
    EXPECT_EQ(Allocated<char16_t>(kString, u"%1!q!", 0, nullptr).text(), u"<null>");
    EXPECT_EQ(Allocated<char16_t>(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0, nullptr).error,
              static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
    // The source's own form wins over the others named with it.
    EXPECT_EQ(Call<char16_t>(kString | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE, u"own", 8, nullptr)
                  .text(),
              u"own");
}

}  // namespace
