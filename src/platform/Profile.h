#pragma once

#include <QString>

namespace quenlor {

// INI values read with the rules of the Windows profile API (GetPrivateProfileStringA):
// section and key names without regard to case, one pair of surrounding quotes removed, lines
// starting with ";" are comments, a missing file, section or key gives the default, and the
// value is cut to bufferSize - 1 bytes of ANSI text.
class Profile {
public:
    virtual ~Profile() = default;
    [[nodiscard]] virtual QString readString(const QString& section, const QString& key,
                                             const QString& defaultValue, const QString& filePath,
                                             int bufferSize) = 0;
};

} // namespace quenlor
