#include "platform/HostAutomation.h"

#include "platform/win/com32/HostProtocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>

namespace quenlor {

namespace {

const QString kHostGone = QStringLiteral("自动化部件宿主进程已退出。");
const QString kHostSilent = QStringLiteral("自动化部件宿主进程没有响应，已结束它。");
const QString kHostMissing = QStringLiteral("无法启动自动化部件宿主进程。");

std::string field(const QString& text) {
    return hostproto::escape(text.toStdString());
}

QString text(const std::string& field) {
    return QString::fromStdString(hostproto::unescape(field));
}

} // namespace

// The conversation with one host process; objects keep it alive to release themselves.
class HostChannel : public std::enable_shared_from_this<HostChannel> {
public:
    explicit HostChannel(HostAutomation::Options options) : m_options(std::move(options)) {}
    ~HostChannel() { stop(); }

    // Sends one request and returns the answer's value field; throws AutomationError.
    QVariant request(const QStringList& fields, int timeoutMs);
    void release(long handle);
    qint64 processId() const { return m_process ? m_process->processId() : 0; }

private:
    void start();
    void stop();
    [[noreturn]] void fail(const QString& description);
    QVariant decode(const QString& value);
    std::string encode(const QVariant& value);

    HostAutomation::Options m_options;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_pending;
    int m_generation = 0; // a new host invalidates the handles of the old one
    friend class HostObject;
    friend class HostAutomation;
};

class HostObject final : public AutomationObject {
public:
    HostObject(std::shared_ptr<HostChannel> channel, long handle, int generation)
        : m_channel(std::move(channel)), m_handle(handle), m_generation(generation) {}
    ~HostObject() override {
        if (m_channel->m_generation == m_generation)
            m_channel->release(m_handle);
    }

    QVariant get(const QString& member, const QVariantList& args) override {
        return send(QStringLiteral("get"), member, args, m_channel->m_options.propertyTimeoutMs);
    }
    void put(const QString& member, const QVariant& value) override {
        send(QStringLiteral("put"), member, {value}, m_channel->m_options.propertyTimeoutMs);
    }
    QVariant call(const QString& member, const QVariantList& args) override {
        return send(QStringLiteral("call"), member, args, m_channel->m_options.methodTimeoutMs);
    }
    long handle() const { return m_handle; }
    int generation() const { return m_generation; }
    const HostChannel* channel() const { return m_channel.get(); }

private:
    QVariant send(const QString& verb, const QString& member, const QVariantList& args,
                  int timeoutMs) {
        if (m_channel->m_generation != m_generation)
            throw AutomationError{AutomationErrors::NoObject, kHostGone};
        QStringList fields{verb, QString::number(m_handle), member};
        for (const QVariant& a : args)
            fields.append(QString::fromStdString(m_channel->encode(a)));
        return m_channel->request(fields, timeoutMs);
    }

    std::shared_ptr<HostChannel> m_channel;
    long m_handle;
    int m_generation;
};

void HostChannel::start() {
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->start(m_options.program, m_options.arguments);
    ++m_generation;
    m_pending.clear();
    if (!m_process->waitForStarted(m_options.startTimeoutMs)) {
        m_process.reset();
        throw AutomationError{AutomationErrors::CannotCreateObject, kHostMissing};
    }
}

void HostChannel::stop() {
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->closeWriteChannel(); // the host ends when its input ends
        if (!m_process->waitForFinished(2000)) {
            m_process->kill();
            m_process->waitForFinished(2000);
        }
    }
    m_process.reset();
}

void HostChannel::fail(const QString& description) {
    // The handles of this host are gone with it; the next create starts a new one.
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(2000);
        m_process.reset();
    }
    ++m_generation;
    throw AutomationError{AutomationErrors::Other, description};
}

QVariant HostChannel::request(const QStringList& fields, int timeoutMs) {
    if (!m_process || m_process->state() == QProcess::NotRunning)
        start();
    QByteArray line = fields.join(QLatin1Char('\t')).toUtf8();
    line.append('\n');
    if (m_process->write(line) != line.size())
        fail(kHostGone);

    // Wait for the answer line; the window keeps repainting meanwhile.
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype end = -1;
    while ((end = m_pending.indexOf('\n')) < 0) {
        if (m_process->state() == QProcess::NotRunning)
            fail(kHostGone);
        if (deadline.hasExpired())
            fail(kHostSilent);
        if (m_process->waitForReadyRead(50))
            m_pending.append(m_process->readAllStandardOutput());
        else if (m_process->state() == QProcess::NotRunning)
            fail(kHostGone);
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    const std::string answer = m_pending.left(end).toStdString();
    m_pending.remove(0, end + 1);

    const std::vector<std::string> parts = hostproto::split(answer);
    if (parts[0] == "ok")
        return decode(parts.size() > 1 ? QString::fromStdString(parts[1]) : QStringLiteral("e"));
    if (parts[0] == "err" && parts.size() >= 3)
        throw AutomationError{QString::fromStdString(parts[1]).toInt(), text(parts[2])};
    fail(kHostSilent);
}

void HostChannel::release(long handle) {
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    try {
        request({QStringLiteral("release"), QString::number(handle)}, m_options.propertyTimeoutMs);
    } catch (const AutomationError&) {
        // Releasing is best effort: a host that is gone holds nothing any more.
    }
}

QVariant HostChannel::decode(const QString& value) {
    if (value == QLatin1String("e") || value.isEmpty())
        return {};
    if (value == QLatin1String("n"))
        return QVariant::fromValue(nullptr);
    const QString body = value.mid(2);
    switch (value.at(0).unicode()) {
    case 's':
        return text(body.toStdString());
    case 'i':
        return QVariant(body.toLongLong());
    case 'd':
        return QVariant(body.toDouble());
    case 'b':
        return QVariant(body == QLatin1String("1"));
    case 'o': {
        const long handle = body.toLong();
        if (handle == 0)
            return toVariant(AutomationObjectPtr());
        return toVariant(std::make_shared<HostObject>(shared_from_this(), handle, m_generation));
    }
    default:
        return text(value.toStdString());
    }
}

std::string HostChannel::encode(const QVariant& value) {
    if (!value.isValid())
        return "e";
    if (value.typeId() == QMetaType::Nullptr)
        return "n";
    if (const AutomationObjectPtr object = toObject(value)) {
        const auto* hosted = dynamic_cast<const HostObject*>(object.get());
        if (!hosted || hosted->channel() != this || hosted->generation() != m_generation)
            throw AutomationError{AutomationErrors::NoObject, kHostGone};
        return "o:" + std::to_string(hosted->handle());
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? "b:1" : "b:0";
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return "i:" + std::to_string(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return "d:" + QString::number(value.toDouble(), 'g', 17).toStdString();
    default:
        return "s:" + field(value.toString());
    }
}

HostAutomation::HostAutomation(Options options)
    : m_channel(std::make_shared<HostChannel>(std::move(options))) {}

HostAutomation::~HostAutomation() = default;

AutomationObjectPtr HostAutomation::create(const QString& progId) {
    const QVariant v =
        m_channel->request({QStringLiteral("create"), QString::fromStdString(field(progId))},
                           m_channel->m_options.propertyTimeoutMs);
    AutomationObjectPtr object = toObject(v);
    if (!object)
        throw AutomationError{AutomationErrors::CannotCreateObject,
                              QStringLiteral("ActiveX 部件不能创建对象")};
    return object;
}

qint64 HostAutomation::hostProcessId() const {
    return m_channel->processId();
}

} // namespace quenlor
