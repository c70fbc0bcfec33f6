#include "platform/Gbk.h"

#ifdef _WIN32
#include "platform/win/WinPlatform.h"
#else
#include <QStringDecoder>
#include <QStringEncoder>
#endif

namespace quenlor {

#ifdef _WIN32

namespace {
constexpr unsigned kGbkCodePage = 936;
} // namespace

// Nothing comes back from a non-empty input only when the system lacks the code page.
std::optional<QString> decodeGbk(const QByteArray& bytes) {
    const std::wstring text = win::codePageToWide(bytes.toStdString(), kGbkCodePage);
    if (text.empty() && !bytes.isEmpty())
        return std::nullopt;
    return QString::fromStdWString(text);
}

std::optional<QByteArray> encodeGbk(const QString& text) {
    const std::string bytes = win::wideToCodePage(text.toStdWString(), kGbkCodePage);
    if (bytes.empty() && !text.isEmpty())
        return std::nullopt;
    return QByteArray::fromStdString(bytes);
}

#else

std::optional<QString> decodeGbk(const QByteArray& bytes) {
    QStringDecoder gbk("GBK");
    if (!gbk.isValid())
        return std::nullopt;
    return QString(gbk.decode(bytes));
}

std::optional<QByteArray> encodeGbk(const QString& text) {
    QStringEncoder gbk("GBK");
    if (!gbk.isValid())
        return std::nullopt;
    return QByteArray(gbk.encode(text));
}

#endif

} // namespace quenlor
