#include "CheckResult.h"
#include "JudgeAnswer.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Head = "tarnwick-judge 1\nnonce 0f3a9c\naddress 127.0.0.1\n"_ba;

// The headers as "name=value", joined by "|".
QString shown(const QList<JudgeAnswer::Header>& headers)
{
    QStringList shown;
    for (const JudgeAnswer::Header& header : headers)
        shown.append(header.name + u'=' + header.value);
    return shown.join(u'|');
}

} // namespace

class tst_JudgeAnswer : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void anonymity_data();
    void anonymity();
    void nonce();
};

void tst_JudgeAnswer::read_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("headers");

    const QString answer;
    const QString notJudge = CheckResult::NotAJudgeAnswer.toString();
    QTest::newRow("no headers") << Head << answer << u""_s;
    QTest::newRow("headers in order, blanks round values dropped")
        << Head + "header Host: 127.0.0.1:8047\nheader Via:  1.1 proxy \nheader Accept: */*\n"
        << answer << u"Host=127.0.0.1:8047|Via=1.1 proxy|Accept=*/*"_s;
    QTest::newRow("escapes undone") << Head + "header X-A\\\\b: c\\x41\\x5c\n" << answer << u"X-A\\b=cA\\"_s;
    QTest::newRow("a line without a colon is a name") << Head + "header Odd line\n"
                                                      << answer << u"Odd line="_s;
    QTest::newRow("a value may be empty") << Head + "header Via:\n" << answer << u"Via="_s;
    QTest::newRow("IPv6 address") << "tarnwick-judge 1\nnonce x\naddress ::1\n"_ba << answer << u""_s;

    QTest::newRow("empty") << ""_ba << notJudge << u""_s;
    QTest::newRow("version 2") << QByteArray(Head).replace("judge 1", "judge 2") << notJudge << u""_s;
    QTest::newRow("a web page") << "<html><body>127.0.0.1</body></html>\n"_ba << notJudge << u""_s;
    QTest::newRow("line prepended") << "Welcome\n" + Head << notJudge << u""_s;
    QTest::newRow("line appended") << Head + "<!-- cached -->\n" << notJudge << u""_s;
    QTest::newRow("cut before the address") << Head.first(30) << notJudge << u""_s;
    QTest::newRow("last line not ended") << Head.chopped(1) << notJudge << u""_s;
    QTest::newRow("CR LF line ends") << QByteArray(Head).replace("\n", "\r\n") << notJudge << u""_s;
    QTest::newRow("blank line") << Head + "\nheader Via: x\n" << notJudge << u""_s;
    QTest::newRow("lines swapped") << "tarnwick-judge 1\naddress 127.0.0.1\nnonce 0f3a9c\n"_ba << notJudge
                                   << u""_s;
    QTest::newRow("nonce with a slash") << QByteArray(Head).replace("0f3a9c", "0f/3a") << notJudge << u""_s;
    QTest::newRow("nonce of 65") << QByteArray(Head).replace("0f3a9c", QByteArray(65, 'a')) << notJudge
                                 << u""_s;
    QTest::newRow("two blanks before the nonce")
        << QByteArray(Head).replace("nonce ", "nonce  ") << notJudge << u""_s;
    QTest::newRow("address a name") << QByteArray(Head).replace("127.0.0.1", "localhost") << notJudge
                                    << u""_s;
    QTest::newRow("address 127.1") << QByteArray(Head).replace("127.0.0.1", "127.1") << notJudge << u""_s;
    QTest::newRow("unknown escape") << Head + "header A: \\q\n" << notJudge << u""_s;
    QTest::newRow("escape cut short") << Head + "header A: \\x4\n" << notJudge << u""_s;
    QTest::newRow("empty name") << Head + "header : x\n" << notJudge << u""_s;
    QTest::newRow("header without its word") << Head + "Via: 1.1 x\n" << notJudge << u""_s;
    QTest::newRow("not UTF-8") << Head + "header A: \xff\n" << notJudge << u""_s;
    QTest::newRow("control character") << Head + "header A: \x01\n" << notJudge << u""_s;
    QTest::newRow("NUL") << Head + "header A: b\0c\n"_ba << notJudge << u""_s;

    // The bound: an answer of exactly MostBytes is read, one byte more is not.
    const QByteArray filler
        = "header X: " + QByteArray(JudgeAnswer::MostBytes - Head.size() - 11, 'x') + '\n';
    QTest::newRow("64 KiB") << Head + filler << answer << u"X="_s + QString(filler.size() - 11, u'x');
    QTest::newRow("64 KiB and a byte") << Head + 'y' + filler << CheckResult::TooLarge.toString() << u""_s;
}

void tst_JudgeAnswer::read()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, failure);
    QFETCH(QString, headers);
    const JudgeAnswer answer = JudgeAnswer::read(body);
    QCOMPARE(answer.failure().toString(), failure);
    QCOMPARE(answer.isValid(), failure.isEmpty());
    if (!answer.isValid())
        return;
    QCOMPARE(shown(answer.headers()), headers);
    // The nonce must be the one sent: a page with another is not the answer to this request.
    QCOMPARE(JudgeAnswer::read(body, answer.nonce()).failure(), QStringView());
    QCOMPARE(JudgeAnswer::read(body, answer.nonce() + u'0').failure(), CheckResult::NonceMissing);
    QCOMPARE(JudgeAnswer::read(body, answer.nonce().chopped(1)).failure(), CheckResult::NonceMissing);
}

void tst_JudgeAnswer::anonymity_data()
{
    QTest::addColumn<QString>("ours");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<Anonymity>("anonymity");

    const QString ours = u"127.0.0.1"_s;
    QTest::newRow("no header") << ours << ""_ba << Anonymity::Elite;
    QTest::newRow("our address in Host and others")
        << ours << "header Host: 127.0.0.1\nheader X-Client: 127.0.0.1\n"_ba << Anonymity::Elite;
    // Each proxy header, in another letter case, with and without our address.
    for (const QStringView name : JudgeAnswer::ProxyHeaders) {
        const QByteArray header = "header " + name.toString().toLower().toLatin1() + ": ";
        QTest::addRow("%s with ours", qPrintable(name.toString())) << ours << header + "10.0.0.1, 127.0.0.1\n"
                                                                   << Anonymity::Transparent;
        QTest::addRow("%s without", qPrintable(name.toString())) << ours << header + "10.0.0.1\n"
                                                                 << Anonymity::Anonymous;
        QTest::addRow("%s upper case", qPrintable(name.toString()))
            << ours << "header " + name.toString().toUpper().toLatin1() + ": unknown\n"
            << Anonymity::Anonymous;
    }
    QTest::newRow("empty Via") << ours << "header Via:\n"_ba << Anonymity::Anonymous;
    QTest::newRow("ours with a port")
        << ours << "header Via: 1.1 127.0.0.1:3128 (proxy)\n"_ba << Anonymity::Transparent;
    QTest::newRow("Forwarded") << ours << "header Forwarded: for=127.0.0.1;proto=http\n"_ba
                               << Anonymity::Transparent;
    QTest::newRow("ours mapped") << ours << "header X-Forwarded-For: ::ffff:127.0.0.1\n"_ba
                                 << Anonymity::Transparent;
    QTest::newRow("ours inside a longer number")
        << ours << "header X-Forwarded-For: 127.0.0.10, 1127.0.0.1, 127.0.0.1.5\n"_ba << Anonymity::Anonymous;
    QTest::newRow("a header after the one that carries ours")
        << ours << "header Via: 1.1 x\nheader X-Real-IP: 127.0.0.1\nheader X-Proxy-ID: 9\n"_ba
        << Anonymity::Transparent;
    QTest::newRow("a version is no address")
        << u"1.0.0.1"_s << "header Via: 1.1 x\n"_ba << Anonymity::Anonymous;
    QTest::newRow("IPv6 in brackets with a port")
        << u"::1"_s << "header Forwarded: for=\"[::1]:4711\"\n"_ba << Anonymity::Transparent;
    QTest::newRow("IPv6 written longer")
        << u"2001:db8::7"_s << "header X-Forwarded-For: 2001:DB8:0:0:0:0:0:7\n"_ba << Anonymity::Transparent;
    QTest::newRow("an IPv6 neighbour")
        << u"::1"_s << "header X-Forwarded-For: ::11\n"_ba << Anonymity::Anonymous;
}

void tst_JudgeAnswer::anonymity()
{
    QFETCH(QString, ours);
    QFETCH(QByteArray, headers);
    QFETCH(Anonymity, anonymity);
    const JudgeAnswer answer = JudgeAnswer::read(Head + headers);
    QVERIFY2(answer.isValid(), answer.failure().toLatin1().constData());
    QCOMPARE(answer.anonymity(*IpAddress::parse(ours)), anonymity);
}

void tst_JudgeAnswer::nonce()
{
    // Always 16 hexadecimal digits (zeros in front kept), never the same twice.
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString nonce = JudgeAnswer::newNonce();
        QVERIFY2(QRegularExpression(u"^[0-9a-f]{16}$"_s).match(nonce).hasMatch(), qPrintable(nonce));
        seen.insert(nonce);
        // What the judge sent back reads as the answer to that nonce.
        if (i == 0) {
            const QByteArray body = QByteArray(Head).replace("0f3a9c", nonce.toLatin1());
            QVERIFY(JudgeAnswer::read(body, nonce).isValid());
        }
    }
    QCOMPARE(seen.size(), 1000);

    QCOMPARE(JudgeAnswer::addressWithNonce(QUrl(u"http://127.0.0.1:8047/judge"_s), u"ab12"_s),
        QUrl(u"http://127.0.0.1:8047/judge?nonce=ab12"_s));
    QCOMPARE(JudgeAnswer::addressWithNonce(QUrl(u"https://[::1]/j?a=1&nonce=old"_s), u"ab12"_s),
        QUrl(u"https://[::1]/j?a=1&nonce=ab12"_s));
}

QTEST_GUILESS_MAIN(tst_JudgeAnswer)
#include "tst_judgeanswer.moc"
