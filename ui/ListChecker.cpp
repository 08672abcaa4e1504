#include "ListChecker.h"

#include "CheckNetworks.h"
#include "IpAddress.h"
#include "ProxyKind.h"
#include "ProxyTableModel.h"

#include <optional>

namespace {

// 1 to 65535 in decimal digits, blanks round them allowed.
std::optional<quint16> portOf(QByteArrayView text)
{
    text = text.trimmed();
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535 ? std::optional(quint16(value)) : std::nullopt;
}

// The address cell as a check takes it: an IP address (an IPv6 one perhaps in brackets) or a host name.
std::optional<QString> addressOf(QByteArrayView text)
{
    text = text.trimmed();
    if (text.size() > 2 && text.startsWith('[') && text.endsWith(']'))
        text = text.sliced(1, text.size() - 2);
    QString address = QString::fromUtf8(text);
    if (IpAddress::parse(address) || CheckNetworks::isHostName(address))
        return address;
    return std::nullopt;
}

} // namespace

QString ListChecker::progressText(qsizetype done, qsizetype total)
{
    return QStringLiteral("Checking %1 of %2").arg(done).arg(total);
}

QString ListChecker::completionText(qsizetype answered, qsizetype total)
{
    return QStringLiteral("Check Complete (%1 of %2 answered)").arg(answered).arg(total);
}

QString ListChecker::stoppedText(qsizetype answered, qsizetype total)
{
    return QStringLiteral("Check Stopped (%1 of %2 answered)").arg(answered).arg(total);
}

ListChecker::ListChecker(ProxyTableModel& table, QUrl judge, QObject* parent)
    : QObject(parent)
    , m_table(table)
    , m_judge(std::move(judge))
    , m_createRun(&CheckRun::create)
{
    m_statusTimer.setSingleShot(true);
    connect(&m_statusTimer, &QTimer::timeout, this, &ListChecker::showProgress);
    // A cleared table has none of the rows the run was given.
    connect(&m_table, &QAbstractItemModel::modelAboutToBeReset, this, &ListChecker::stop);
}

ListChecker::~ListChecker()
{
    // The run is a child, deleted with the checker; it stops its transfers first.
    if (m_run)
        m_run->cancel();
}

void ListChecker::check(const std::vector<quint32>& rows)
{
    stop();
    if (rows.empty())
        return;
    std::vector<quint32> checked;
    QList<CheckRow> checkRows;
    QList<std::pair<quint32, QStringView>> refused;
    checked.reserve(rows.size());
    checkRows.reserve(qsizetype(rows.size()));
    for (const quint32 row : rows) {
        const std::optional<QString> address = addressOf(m_table.cellUtf8(row, 0));
        const std::optional<quint16> port = portOf(m_table.cellUtf8(row, 1));
        if (!address || !port) {
            refused.append({ row, address ? NotAPort : NotAnAddress });
            continue;
        }
        checked.push_back(row);
        checkRows.append(CheckRow { *address, *port, proxyKindOfType(m_table.cellText(row, 2)) });
    }
    m_table.beginCheck(std::move(checked));
    for (const auto& [row, reason] : std::as_const(refused))
        m_table.setAnswer(row, CheckResult::noAnswer(reason.toString()));

    m_total = qsizetype(rows.size());
    m_done = refused.size();
    m_answered = 0;
    CheckOptions options;
    options.judge = m_judge;
    options.networks = CheckNetworks::fromEnvironment();
    m_run = m_createRun(std::move(options)).release();
    if (!m_run)
        return;
    m_run->setParent(this);
    connect(m_run, &CheckRun::checked, this, &ListChecker::take);
    connect(m_run, &CheckRun::finished, this, [this] { endRun(completionText(m_answered, m_total)); });
    showProgress();
    emit runningChanged(true);
    m_run->start(std::move(checkRows));
}

void ListChecker::checkAll()
{
    std::vector<quint32> rows(size_t(m_table.rowCount()));
    for (size_t row = 0; row < rows.size(); ++row)
        rows[row] = quint32(row);
    check(rows);
}

void ListChecker::stop()
{
    if (m_run) {
        m_run->cancel();
        endRun(stoppedText(m_answered, m_total));
    }
}

void ListChecker::endRun(const QString& status)
{
    disconnect(m_run, nullptr, this, nullptr);
    m_run->deleteLater();
    m_run = nullptr;
    m_statusTimer.stop();
    emit statusTextChanged(status);
    emit runningChanged(false);
}

void ListChecker::take(qsizetype index, const CheckResult& result)
{
    m_table.setCheckAnswer(index, result);
    ++m_done;
    m_answered += result.answered ? 1 : 0;
    showProgressSoon();
}

void ListChecker::showProgressSoon()
{
    if (m_statusTimer.isActive())
        return;
    const qint64 since = m_sinceStatus.elapsed();
    if (since >= StatusIntervalMs)
        showProgress();
    else
        m_statusTimer.start(int(StatusIntervalMs - since));
}

void ListChecker::showProgress()
{
    m_sinceStatus.start();
    emit statusTextChanged(progressText(m_done, m_total));
}
