#include "platform/WindowsPlatform.h"

#ifdef _WIN32

#include "platform/HostAutomation.h"
#include "platform/PortableProfile.h"
#include "platform/win/WinPlatform.h"

#include <QDir>
#include <QStringDecoder>

namespace quenlor {

namespace {

std::wstring wide(const QString& s) {
    return s.toStdWString();
}

QString fromWide(const std::wstring& s) {
    return QString::fromStdWString(s);
}

} // namespace

QList<ServiceInfo> WindowsServices::list() {
    try {
        QList<ServiceInfo> out;
        for (const win::ServiceRow& r : win::listServices())
            out.append({fromWide(r.displayName), fromWide(r.state)});
        return out;
    } catch (const win::WinError& e) {
        throw ServiceError{{static_cast<int>(e.code), fromWide(e.description)}};
    }
}

bool WindowsServices::runHidden(const QString& commandLine) {
    return win::runHidden(wide(commandLine));
}

void WindowsServices::sleep(int milliseconds) {
    win::sleepMs(unsigned(milliseconds));
}

bool WindowsRegistry::keyExists(const QString& keyPath) {
    return win::registryKeyExists(wide(keyPath));
}

QString WindowsProfile::readString(const QString& section, const QString& key,
                                   const QString& defaultValue, const QString& filePath,
                                   int bufferSize) {
    const std::string sectionA = win::wideToAnsi(wide(section));
    const std::string keyA = win::wideToAnsi(wide(key));
    const std::string fileA = win::wideToAnsi(wide(QDir::toNativeSeparators(filePath)));
    // The default is the program's own text and never goes through the ANSI code page, where a
    // Windows whose code page is not Chinese would turn its Chinese into "?". A key is missing
    // when the call gives back each of two different defaults.
    const std::string bytes = win::profileStringA(sectionA, keyA, "0", fileA, bufferSize);
    if (bytes == "0" && win::profileStringA(sectionA, keyA, "1", fileA, bufferSize) == "1")
        return PortableProfile::defaultValue(defaultValue, bufferSize);

    const QByteArray raw = QByteArray::fromStdString(bytes);
    bool beyondAscii = false;
    for (char c : raw)
        beyondAscii = beyondAscii || (static_cast<unsigned char>(c) >= 0x80);
    if (beyondAscii) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QString s = utf8.decode(raw);
        if (!utf8.hasError())
            return s;
    }
    return fromWide(win::ansiToWide(bytes));
}

std::unique_ptr<Automation> makeWindowsAutomation(const QString& programFolder) {
    HostAutomation::Options o;
    o.program = QDir(programFolder).filePath(QStringLiteral("quenlor-com32.exe"));
    return std::make_unique<HostAutomation>(o);
}

} // namespace quenlor

#endif
