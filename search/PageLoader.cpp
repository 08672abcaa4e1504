#include "PageLoader.h"

#include "CurlMulti.h"
#include "HtmlBody.h"
#include "HttpTransfer.h"
#include "PageCharset.h"
#include "PageVerdict.h"

using namespace Qt::Literals::StringLiterals;

PageLoader::PageLoader(QObject* parent)
    : QObject(parent)
    , m_multi(std::make_unique<CurlMulti>())
    , m_transfer(
          std::make_unique<HttpTransfer>(*m_multi, [this](const TransferFacts& facts) { report(facts); }))
{ }

PageLoader::~PageLoader() = default;

void PageLoader::setCertificateAuthorities(const QString& pemFile)
{
    m_transfer->setCertificateAuthorities(pemFile);
}

void PageLoader::Navigate(const QUrl& url)
{
    m_transfer->abandon();
    m_url = url;
    m_transfer->answer().clear();
    m_body = {};
    m_failed = false;
    m_error.clear();
    const quint64 navigation = ++m_navigations;
    if (!m_transfer->start(url, m_timeoutMs)) {
        // Reported later all the same, as the contract has it, unless another navigation comes first.
        QMetaObject::invokeMethod(
            this,
            [this, navigation] {
                if (navigation != m_navigations)
                    return;
                TransferFacts facts;
                facts.transferError = u"The load could not be started"_s;
                report(facts);
            },
            Qt::QueuedConnection);
    }
}

void PageLoader::Stop()
{
    ++m_navigations;
    if (!m_transfer->isActive())
        return;
    m_transfer->abandon();
    m_transfer->answer().clear();
}

void PageLoader::report(const TransferFacts& facts)
{
    const PageVerdict verdict = judge(facts);
    m_failed = verdict.failed;
    m_error = verdict.reason;
    const AnswerReader& answer = m_transfer->answer();
    if (m_failed)
        m_transfer->answer().clear();
    else
        m_body = HtmlBody::bodyOf(PageCharset::utf8(answer.body(), answer.contentType(), m_converted));
    // Nothing of this load is held past here: the handler may navigate again or yield to other events.
    emit DocumentComplete(m_url);
}

QString PageLoader::documentText() const
{
    return PageCharset::decode(m_transfer->answer().body(), m_transfer->answer().contentType());
}
