#include "CheckNetworks.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class tst_CheckNetworks : public QObject
{
    Q_OBJECT

private slots:
    void refusal_data();
    void refusal();
    void malformedAllowsNothing_data();
    void malformedAllowsNothing();
    void environment();
};

void tst_CheckNetworks::refusal_data()
{
    QTest::addColumn<QString>("networks"); // null: no guard
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("refusal");

    const QString none;
    const QString reserved = CheckNetworks::ReservedAddress.toString();
    const QString outside = CheckNetworks::OutsideNetworks.toString();
    const QString loopback = u"127.0.0.0/8,::1/128"_s;
    const QString allowed = u""_s;

    // Reserved with and without a guard, whatever the guard allows.
    const QStringList reservedAddresses = { u"192.0.2.1"_s, u"198.51.100.255"_s, u"203.0.113.7"_s,
        u"2001:db8::1"_s, u"2001:DB8:FFFF::"_s, u"0.0.0.0"_s, u"0.255.1.2"_s, u"240.0.0.1"_s,
        u"255.255.255.255"_s, u"224.0.0.1"_s, u"239.255.255.250"_s, u"ff02::1"_s, u"::ffff:192.0.2.1"_s };
    for (const QString& address : reservedAddresses) {
        for (const QString& guard : { none, loopback, u"0.0.0.0/0,::/0"_s })
            QTest::addRow("%s reserved, guard %s", qPrintable(address), qPrintable(guard))
                << guard << address << reserved;
    }
    // Just outside the reserved networks.
    QTest::newRow("192.0.3.1") << none << u"192.0.3.1"_s << allowed;
    QTest::newRow("223.255.255.255") << none << u"223.255.255.255"_s << allowed;
    QTest::newRow("2001:db9::1") << none << u"2001:db9::1"_s << allowed;
    QTest::newRow("fe00::1") << none << u"fe00::1"_s << allowed;

    // No guard: loopback and names allowed; text a resolver would read as another address is none.
    QTest::newRow("no guard, loopback") << none << u"127.0.0.1"_s << allowed;
    QTest::newRow("no guard, ::1") << none << u"::1"_s << allowed;
    QTest::newRow("no guard, host name") << none << u"proxy-1.Example.org."_s << allowed;
    for (const QString& address : { u"127.1"_s, u"2130706433"_s, u"0x7f000001"_s, u"010.0.0.1"_s,
             u"1.2.3.256"_s, u" 127.0.0.1"_s, u"[::1]"_s, u"fe80::1%eth0"_s, u"1::2::3"_s,
             u"1:2:3:4:5:6:7:8:9"_s, u"1.2.3.4::"_s, u"12345::"_s, u"-proxy.example"_s, u"proxy..example"_s,
             u"proxy_1.example"_s, u"proxy.example.123"_s, QString(64, u'a') + u".example"_s, u""_s })
        QTest::addRow("no guard, no address or name: '%s'", qPrintable(address))
            << none << address << outside;

    // A guard: inside its networks only, never a name.
    QTest::newRow("guard, 127.255.255.255") << loopback << u"127.255.255.255"_s << allowed;
    QTest::newRow("guard, 128.0.0.1") << loopback << u"128.0.0.1"_s << outside;
    QTest::newRow("guard, 10.0.0.1") << loopback << u"10.0.0.1"_s << outside;
    QTest::newRow("guard, ::1") << loopback << u"::1"_s << allowed;
    QTest::newRow("guard, long ::1") << loopback << u"0:0:0:0:0:0:0:1"_s << allowed;
    QTest::newRow("guard, ::2") << loopback << u"::2"_s << outside;
    QTest::newRow("guard, mapped loopback") << loopback << u"::ffff:127.0.0.1"_s << allowed;
    QTest::newRow("guard, localhost") << loopback << u"localhost"_s << outside;
    QTest::newRow("guard, host name") << loopback << u"proxy.example"_s << outside;
    QTest::newRow("/9, 127.127.255.255 inside") << u"127.0.0.0/9"_s << u"127.127.255.255"_s << allowed;
    QTest::newRow("/9, 127.128.0.0 outside") << u"127.0.0.0/9"_s << u"127.128.0.0"_s << outside;
    QTest::newRow("/9, 127.200.0.1 outside") << u"127.0.0.0/9"_s << u"127.200.0.1"_s << outside;
    QTest::newRow("host bits in the network") << u"127.1.2.3/8"_s << u"127.200.0.1"_s << allowed;
    QTest::newRow("lone address, itself") << u"127.0.0.2"_s << u"127.0.0.2"_s << allowed;
    QTest::newRow("lone address, its neighbour") << u"127.0.0.2"_s << u"127.0.0.3"_s << outside;
    QTest::newRow("blanks round the networks") << u" 10.0.0.0/8 , ::1/128 "_s << u"10.9.8.7"_s << allowed;
    QTest::newRow("IPv6 networks hold no IPv4") << u"::/0"_s << u"127.0.0.1"_s << outside;
    QTest::newRow("IPv4 networks hold no IPv6") << u"0.0.0.0/0"_s << u"::1"_s << outside;
    QTest::newRow("mapped IPv4 is IPv4") << u"10.0.0.0/8"_s << u"::ffff:10.1.2.3"_s << allowed;
    QTest::newRow("fd00::/8") << u"fd00::/8"_s << u"fdff:ffff::1"_s << allowed;
    QTest::newRow("fd00::/8, fe00::") << u"fd00::/8"_s << u"fe00::"_s << outside;
}

void tst_CheckNetworks::refusal()
{
    QFETCH(QString, networks);
    QFETCH(QString, address);
    QFETCH(QString, refusal);
    const CheckNetworks guard = networks.isNull() ? CheckNetworks() : CheckNetworks::parse(networks);
    QCOMPARE(guard.error(), QString());
    QCOMPARE(guard.isGuarded(), !networks.isNull());
    QCOMPARE(guard.refusal(address).toString(), refusal);
}

void tst_CheckNetworks::malformedAllowsNothing_data()
{
    QTest::addColumn<QString>("networks");
    for (const QString& networks : { u""_s, u" "_s, u"*"_s, u"localhost"_s, u"127.0.0.0/33"_s, u"::1/129"_s,
             u"127.0.0.0/"_s, u"127.0.0.0/08"_s, u"127.0.0.0/+8"_s, u"127.0.0.0/255.0.0.0"_s, u"127/8"_s,
             u"127.0.0.0/8,"_s, u",127.0.0.0/8"_s, u"127.0.0.0/8;::1/128"_s, u"127.0.0.0/8 ::1/128"_s,
             u"127.0.0.0/8,nonsense"_s })
        QTest::addRow("'%s'", qPrintable(networks)) << networks;
}

void tst_CheckNetworks::malformedAllowsNothing()
{
    QFETCH(QString, networks);
    const CheckNetworks guard = CheckNetworks::parse(networks);
    QVERIFY(guard.isGuarded());
    QVERIFY2(guard.error().startsWith(u"TARNWICK_CHECK_NETWORKS: "), qPrintable(guard.error()));
    // Not even what the well-formed networks name.
    for (const QString& address : { u"127.0.0.1"_s, u"::1"_s, u"8.8.8.8"_s, u"proxy.example"_s })
        QCOMPARE(guard.refusal(address), CheckNetworks::OutsideNetworks);
}

void tst_CheckNetworks::environment()
{
    const QByteArray name = CheckNetworks::VariableName.toLatin1();
    const QByteArray saved = qgetenv(name.constData());
    qputenv(name.constData(), "127.0.0.0/9");
    const CheckNetworks set = CheckNetworks::fromEnvironment();
    qunsetenv(name.constData());
    const CheckNetworks unset = CheckNetworks::fromEnvironment();
    qputenv(name.constData(), saved);

    QVERIFY(set.isGuarded());
    QCOMPARE(set.refusal(u"127.200.0.1"), CheckNetworks::OutsideNetworks);
    QCOMPARE(set.refusal(u"127.0.0.1"), QStringView());
    QVERIFY(!unset.isGuarded());
    QCOMPARE(unset.refusal(u"proxy.example"), QStringView());
}

QTEST_GUILESS_MAIN(tst_CheckNetworks)
#include "tst_checknetworks.moc"