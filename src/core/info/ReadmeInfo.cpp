#include "core/info/ReadmeInfo.h"

#include "core/app/Environment.h"
#include "core/app/ProgramState.h"
#include "core/config/IniFile.h"
#include "core/info/AboutBox.h"
#include "platform/Gbk.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringTokenizer>

#if !defined(QUENLOR_README_FOLDER) || !defined(QUENLOR_WEB_SITE) ||                               \
    !defined(QUENLOR_APP_MARKET) || !defined(QUENLOR_VERSION)
#error "The maker's addresses and the version come from the top CMakeLists.txt"
#endif

namespace quenlor {

namespace {

// A document counts as a Readme.txt when one of its lines holds this.
const QString kReadmeMarker = QStringLiteral("说明");

// The built-in values of the six keys, used when Readme.txt or a key is missing.
const QString kDefaultCompany = QStringLiteral("Quenlor 项目组");
const QString kDefaultAuthor = QStringLiteral("Quenlor 开发组");
// No contact numbers until the project publishes its own.
const QString kDefaultQQ = QStringLiteral("无");
const QString kDefaultQQGroup = QStringLiteral("无");
const QString kDefaultIntro = QStringLiteral(
    "Quenlor：删除 SQL Server 上的 ERP 账套、账套年度和数据库，并清理系统库中的全部记录");

// The run-time's number for a failed file operation; a failed transfer has only its text.
constexpr int kFileAccessError = 75;
constexpr int kTransferError = -1;

// A failing step of DownloadFile, carried to its one error step.
struct StepFailure {
    int number;
    QString description;
};

QByteArray readWhole(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StepFailure{kFileAccessError, file.errorString() + QStringLiteral("：") + path};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw StepFailure{kFileAccessError, file.errorString() + QStringLiteral("：") + path};
    return bytes;
}

// The file is replaced in one step, so a write that fails half-way leaves the old one whole.
void writeWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw StepFailure{kFileAccessError, file.errorString() + QStringLiteral("：") + path};
}

void copyOver(const QString& from, const QString& to) {
    writeWhole(to, readWhole(from));
}

// Readme.txt as the maker writes it: UTF-8 when its bytes are valid UTF-8, else the ANSI code
// page of a Chinese Windows, as Config.ini is read.
QString decodeText(const QByteArray& bytes) {
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringConverter::Utf16LE).decode(bytes.mid(2));
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(body);
    if (!utf8.hasError())
        return text;
    return decodeGbk(body).value_or(QString::fromLatin1(body));
}

bool isWebAddress(const QString& address) {
    return address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           address.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

QString readmeDownloadFolder() {
    QString folder = QStringLiteral(QUENLOR_README_FOLDER);
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

QString makerWebSite() {
    return QStringLiteral(QUENLOR_WEB_SITE);
}

QString appMarketAddress() {
    return QStringLiteral(QUENLOR_APP_MARKET);
}

QString programVersion() {
    return QStringLiteral(QUENLOR_VERSION);
}

Read<bool> DownloadFile(Http& inet, const QString& address, const QString& localPath,
                        const QString& marker) {
    try {
        const HttpResult fetched = inet.fetch(address, kReadmeTimeoutMs);
        if (!fetched.ok) {
            throw StepFailure{kTransferError, fetched.errorText.isEmpty()
                                                  ? QStringLiteral("无法下载 %1").arg(address)
                                                  : fetched.errorText};
        }
        const QString backup = localPath + QStringLiteral(".tmp");
        if (FileExists(localPath))
            copyOver(localPath, backup);
        writeWhole(localPath, fetched.body);
        if (FileHasText(localPath, marker))
            return {true, Outcome::done()};
        // An error page, not a Readme.txt: the previous file comes back.
        if (FileExists(backup)) {
            copyOver(backup, localPath);
            if (!QFile::remove(backup))
                throw StepFailure{kFileAccessError, QStringLiteral("无法删除 %1").arg(backup)};
        }
    } catch (const StepFailure& failure) {
        return {false, Outcome::failed(failure.description, failure.number)};
    }
    return {false, Outcome::done()};
}

bool FileHasText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.isEmpty())
        return false;
    const QString content = decodeText(bytes);
    for (const QStringView line : QStringTokenizer(content, u'\n')) {
        if (line.contains(text, Qt::CaseSensitive))
            return true;
    }
    return false;
}

QString ReadReadmeValue(const QString& section, const QString& key, const QString& defaultValue,
                        const QString& filePath) {
    return ReadIniValue(section, key, defaultValue,
                        filePath.isEmpty() ? programFile(kReadmeFileName) : filePath);
}

void LoadReadmeInfo() {
    // The reader cannot fail: a missing file or key gives the default.
    ProgramState& s = state();
    s.ReadmeCompany = ReadReadmeValue(kReadmeSection, QStringLiteral("公司"), kDefaultCompany);
    s.ReadmeAuthor = ReadReadmeValue(kReadmeSection, QStringLiteral("作者"), kDefaultAuthor);
    s.ReadmeQQ = ReadReadmeValue(kReadmeSection, QStringLiteral("QQ"), kDefaultQQ);
    s.ReadmeQQGroup = ReadReadmeValue(kReadmeSection, QStringLiteral("QQ群"), kDefaultQQGroup);
    s.ReadmeWebUrl = QStringLiteral("http://") +
                     ReadReadmeValue(kReadmeSection, QStringLiteral("网址"), makerWebSite());
    s.ReadmeIntro = ReadReadmeValue(kReadmeSection, QStringLiteral("简介"), kDefaultIntro);
}

bool OpenWebPage(const QString& address) {
    const QString target = address.isEmpty() ? appMarketAddress() : address;
    if (!isWebAddress(target))
        return false;
    // The browser's own failure is not the operator's concern here.
    state().system->openUrl(target);
    return true;
}

void RefreshReadmeInfo() {
    ProgramState& s = state();
    const QString address = readmeDownloadFolder() + QLatin1Char('/') + kReadmeFileName;
    if (s.http)
        // Without the network the last Readme.txt or the defaults serve; nothing to report.
        (void)DownloadFile(*s.http, address, programFile(kReadmeFileName), kReadmeMarker);
    LoadReadmeInfo();
}

QString FormCaption() {
    const ProgramState& s = state();
    return kProgramTitle + QStringLiteral(" For ") + productName(s.ProductType) +
           QStringLiteral(" 数据库版本：") + s.ServerVersionText + QStringLiteral(" 作者:") +
           s.ReadmeAuthor + QStringLiteral(" QQ:") + s.ReadmeQQ + QStringLiteral(" QQ群:") +
           s.ReadmeQQGroup;
}

void SetAboutFields(AboutBox& box) {
    const ProgramState& s = state();
    box.ProductName = kProgramTitle;
    box.ProductVersion = QStringLiteral(" V") + programVersion();
    box.MakerLink = s.ReadmeWebUrl;
    box.CopyrightText = QStringLiteral("Copyright © ") + s.ReadmeCompany;
}

QString AboutNotice() {
    const ProgramState& s = state();
    return s.ReadmeIntro + QStringLiteral("\n\n公司：") + s.ReadmeCompany +
           QStringLiteral("\n作者：") + s.ReadmeAuthor + QStringLiteral("\nQQ：") + s.ReadmeQQ +
           QStringLiteral("\nQQ群：") + s.ReadmeQQGroup + QStringLiteral("\n网址：") +
           s.ReadmeWebUrl;
}

} // namespace quenlor
