#pragma once

#include "core/app/Outcome.h"

#include <QString>

namespace quenlor {

class AboutBox;
class Http;

// The information file beside the program and its section.
inline const QString kReadmeFileName = QStringLiteral("Readme.txt");
inline const QString kReadmeSection = QStringLiteral("说明");

// The longest the main window waits for a fresh Readme.txt before going on with what it has, so
// that an office without Internet access is not held up.
inline constexpr int kReadmeTimeoutMs = 3000;

// The maker's addresses, fixed when the program is built (see README.md).
// The folder Readme.txt is downloaded from, without a trailing "/".
[[nodiscard]] QString readmeDownloadFolder();
// The web site as the "网址" key holds it: without "http://".
[[nodiscard]] QString makerWebSite();
// Where OpenWebPage goes when it is given no address.
[[nodiscard]] QString appMarketAddress();
// The program's version, as the about box shows it.
[[nodiscard]] QString programVersion();

// Fetches address through inet and makes it localPath when a line of it contains marker; the
// file it replaces stays beside it as localPath + ".tmp". A document without the marker puts
// the previous file back. True for a kept download; on a failure localPath is left as it was and
// the outcome says why.
Read<bool> DownloadFile(Http& inet, const QString& address, const QString& localPath,
                        const QString& marker);

// True when a line of the file contains text (case-sensitive); false at the end of the file or
// when it cannot be read. The file is UTF-8 when its bytes are valid UTF-8, else GBK.
[[nodiscard]] bool FileHasText(const QString& path, const QString& text);

// ReadIniValue's reading rule; an empty file means Readme.txt in the program's folder.
[[nodiscard]] QString ReadReadmeValue(const QString& section, const QString& key,
                                      const QString& defaultValue,
                                      const QString& filePath = QString());

// Fills the six Readme fields of the Program state from Readme.txt or the built-in defaults.
void LoadReadmeInfo();

// Hands an http or https address to the system's browser; an empty address opens the app
// market's. Anything else (file:, javascript:, a bare path) is refused with false: the address
// may come from a downloaded file.
bool OpenWebPage(const QString& address);

// What the main window does when it loads: Readme.txt is refreshed from the maker's site (the
// result does not matter: a failed refresh keeps the last good file) and read.
void RefreshReadmeInfo();

// The main window's caption: program, product, server version, author and contact numbers.
[[nodiscard]] QString FormCaption();

// The four texts of the about box, from the Program state.
void SetAboutFields(AboutBox& box);

// The about box's notice: the introduction and the maker's contacts, one to a line.
[[nodiscard]] QString AboutNotice();

} // namespace quenlor
