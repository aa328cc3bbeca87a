// The editing steps every modifying member of ZAVString shares.
#pragma once

#include "ZAVString.h"

namespace zav {

struct StringCore {
    static constexpr unsigned kLimit = 0x7FFFFFFDu;  // max_size(); growth throws from here on

    // Whether p points into s's own buffer, whose text an edit may move or
    // release before p is read.
    static bool Overlaps(const ZAVString& s, const WCHAR* p);

    // Opens room for count characters at pos in place of removed ones (pos
    // and removed already clamped) and answers where to write them; null
    // when the result has no characters. The caller writes them and
    // terminates at the new length.
    static WCHAR* Splice(ZAVString& s, unsigned pos, unsigned removed, unsigned count);
    static bool GrowDiscarding(ZAVString& s, unsigned count);

    // The length checks of the families: whether adding count to length
    // passes 0xFFFFFFFF, with the family's message.
    static void CheckTotal(unsigned length, unsigned count, const char* message);
    // The growth step's own check: a length of kLimit or more throws.
    static void CheckGrowth(unsigned n);

    static ZAVString& Assign(ZAVString& s, const WCHAR* p, unsigned count);
    static ZAVString& AssignFill(ZAVString& s, unsigned count, WCHAR ch);
    static ZAVString& Replace(ZAVString& s, unsigned pos, unsigned n, const WCHAR* p, unsigned count,
                              const char* message);
    static ZAVString& ReplaceFill(ZAVString& s, unsigned pos, unsigned n, unsigned count, WCHAR ch,
                                  const char* message);
    static ZAVString& AssignAnsi(ZAVString& s, const char* p, unsigned count);
    static ZAVString& AppendAnsi(ZAVString& s, const char* p, unsigned count);
};

extern const char kAppendLength[];
extern const char kInsertLength[];
extern const char kReplaceLength[];

}  // namespace zav
