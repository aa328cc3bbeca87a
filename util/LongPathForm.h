// The long-path form the NT family accepts beyond the classic length limit.
// Header-only so that the rule can be checked on platforms that never apply it.
#pragma once

#include "ZAVString.h"

namespace zav {

inline ZAVString LongPathForm(const ZAVString& path) {
    static const WCHAR kPrefix[] = {'\\', '\\', '?', '\\', 0};
    static const WCHAR kUncPrefix[] = {'\\', '\\', '?', '\\', 'U', 'N', 'C', 0};
    static const WCHAR kUrlMarker[] = {':', '/', '/', 0};
    static const WCHAR kNetworkStart[] = {'\\', '\\', 0};
    if (path.compare(0, 4, kPrefix) == 0) return path;
    if (path.find(kUrlMarker) != ZAVString::npos) return path;
    if (path.compare(0, 2, kNetworkStart) == 0) {
        ZAVString result(kUncPrefix);
        result.append(path, 1, ZAVString::npos);
        return result;
    }
    ZAVString result(kPrefix);
    result += path;
    return result;
}

}  // namespace zav
