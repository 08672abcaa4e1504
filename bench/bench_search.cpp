// Throughput of cutting and appending, each beside a baseline measured in the same run.
#include "ListPageCutter.h"
#include "ParseListPage.h"
#include "ProxyTableModel.h"

#include <QElapsedTimer>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

QString listPage(int rows, int salt)
{
    const char* types[] = { "transparent", "anonymous", "high anonymity" };
    const char* countries[] = { "Germany", "United States", "Brazil", "Japan", "Netherlands", "India" };
    QString page
        = QStringLiteral("<HTML><HEAD><TITLE>Proxy list</TITLE></HEAD>\r\n<BODY>\r\n<TABLE border=1>\r\n"
                         "<TR><TH>IP address</TH><TH>Port</TH><TH>Type</TH><TH>Country</TH></TR>\r\n");
    page.reserve(rows * 110);
    for (int i = 0; i < rows; ++i) {
        const int n = i + salt * rows;
        page += QStringLiteral(
            "<TR align=middle>\r\n<TD>%1.%2.%3.%4</TD>\r\n<TD>%5</TD>\r\n<TD>%6</TD>\r\n<TD>%7</TD>\r\n"
            "</TR>\r\n")
                    .arg(10 + n % 200)
                    .arg((n / 200) % 256)
                    .arg((n / 51200) % 256)
                    .arg(1 + n % 254)
                    .arg(1024 + (n * 7919) % 60000)
                    .arg(QLatin1String(types[n % 3]))
                    .arg(QLatin1String(countries[n % 6]));
    }
    return page + QStringLiteral("</TABLE>\r\n<P>Page 1 of 7</P>\r\n</BODY></HTML>\r\n");
}

// Best of several runs, in seconds.
template <typename Work> double best(int runs, Work&& work)
{
    double fastest = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        fastest = std::min(fastest, double(timer.nsecsElapsed()) / 1e9);
    }
    return fastest;
}

volatile qsizetype g_sink = 0;

// Offsets where the row start stands, letter case ignored, found the plain way: each byte folded and
// compared in turn.
qsizetype countRowStarts(QByteArrayView text)
{
    const QByteArrayView needle = ListPageCutter::RowStart;
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; };
    qsizetype found = 0;
    const qsizetype last = text.size() - needle.size();
    for (qsizetype at = 0; at <= last; ++at) {
        if (fold(text[at]) != needle[0])
            continue;
        qsizetype i = 1;
        while (i < needle.size() && fold(text[at + i]) == needle[i])
            ++i;
        if (i == needle.size()) {
            ++found;
            at += needle.size() - 1;
        }
    }
    return found;
}

} // namespace

int main()
{
    const QByteArray page = listPage(20000, 0).toUtf8();
    const double megabytes = double(page.size()) / 1e6;
    std::printf("page: 20000 rows, %.2f MB of UTF-8\n", megabytes);

    const double scan = best(200, [&] { g_sink = countRowStarts(page); });
    const double cut = best(200, [&] {
        ListPageCutter cutter(page);
        ProxyRecord record;
        qsizetype rows = 0;
        while (cutter.next(record))
            rows += record.port.size() > 0;
        g_sink = rows;
    });
    std::printf("baseline, one case-insensitive byte scan for the row start: %8.1f MB/s\n", megabytes / scan);
    std::printf("cutting the page into records:                              %8.1f MB/s\n", megabytes / cut);
    std::printf("ratio cut / baseline scan: %.2f (goal >= 2.0)\n\n", scan / cut);

    // Appending: a million distinct rows through the list's one way in, one page at a time.
    std::vector<QByteArray> pages;
    for (int p = 0; p < 50; ++p)
        pages.push_back(listPage(20000, p).toUtf8());
    double append = 1e9;
    for (int run = 0; run < 3; ++run) {
        // The list is made and freed outside the timing: only the appending counts.
        auto list = std::make_unique<ProxyTableModel>();
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray& text : pages)
            ParseListPage(text, *list);
        append = std::min(append, double(timer.nsecsElapsed()) / 1e9);
        g_sink = list->size();
    }
    const double cutOnly = best(3, [&] {
        qsizetype rows = 0;
        for (const QByteArray& text : pages) {
            ListPageCutter cutter(text);
            ProxyRecord record;
            while (cutter.next(record))
                ++rows;
        }
        g_sink = rows;
    });
    const double rows = 50.0 * 20000;
    std::printf("cutting and appending %.0f rows: %.0f rows/s (cutting alone %.0f rows/s)\n", rows,
        rows / append, rows / cutOnly);
    std::printf("appending alone: %.0f rows/s (goal >= 1000000)\n", rows / (append - cutOnly));
    return 0;
}
