// Sorting the result list by each column, beside std::stable_sort of the same texts with the same
// comparison, measured in the same run.
#include "ListViewAdapter.h"
#include "ProxyRecord.h"

#include <QElapsedTimer>
#include <QSet>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qsizetype RowCount = 100000;
constexpr int Runs = 7;

// UTF-8, as the list keeps it.
struct Row
{
    QByteArray address;
    QByteArray port;
    QByteArray type;
    QByteArray country;
};

// A fixed sequence, so every run and every machine sorts the same table.
class Random
{
public:
    quint64 next()
    {
        m_state += 0x9E3779B97F4A7C15ull;
        quint64 z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % quint64(n)); }

private:
    quint64 m_state = 20240611;
};

// Rows as a list site hands them out: documentation address ranges, the common proxy ports beside random
// ones, three types and some twenty countries, written sometimes in capitals as sites do.
std::vector<Row> makeRows()
{
    const std::array<const char*, 3> networks = { "192.0.2.", "198.51.100.", "203.0.113." };
    const std::array<int, 8> commonPorts = { 80, 8080, 3128, 8000, 1080, 443, 8888, 81 };
    const std::array<const char*, 3> types = { "transparent", "anonymous", "high anonymity" };
    const std::array<const char*, 20> countries = { "United States", "Germany", "Brazil", "China", "Russia",
        "India", "Indonesia", "France", "United Kingdom", "Japan", "Netherlands", "Canada", "Poland",
        "Thailand", "Ukraine", "Argentina", "Korea", "Spain", "Italy", "Turkey" };
    Random random;
    std::vector<Row> rows;
    rows.reserve(size_t(RowCount));
    QSet<QByteArray> keys;
    // The three networks hold 762 addresses, so most rows need a port of their own to make a new key.
    while (qsizetype(rows.size()) < RowCount) {
        const int port = random.below(10) == 0 ? commonPorts[size_t(random.below(int(commonPorts.size())))]
                                               : 1024 + random.below(64512);
        QByteArray country(countries[size_t(random.below(int(countries.size())))]);
        if (random.below(10) == 0)
            country = country.toUpper();
        Row row { QByteArray(networks[size_t(random.below(3))]) + QByteArray::number(1 + random.below(254)),
            QByteArray::number(port), QByteArray(types[size_t(random.below(3))]), country };
        const QByteArray key = row.address + ':' + row.port;
        if (!keys.contains(key)) {
            keys.insert(key);
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

std::unique_ptr<ListViewAdapter> makeList(const std::vector<Row>& rows)
{
    auto list = std::make_unique<ListViewAdapter>();
    list->beginPage();
    for (const Row& row : rows)
        list->Add(ProxyRecord { row.address, row.port, row.type, row.country });
    list->endPage();
    // A selected row, as in the window, whose place the sort must keep track of.
    list->setSelectedIndex(list->model().index(int(list->model().size() / 2), 0));
    return list;
}

volatile qsizetype g_sink = 0;

} // namespace

int main()
{
    const std::vector<Row> rows = makeRows();
    const auto probe = makeList(rows);
    const ProxyTableModel& table = probe->model();
    std::printf("sorting %lld rows, ascending from page order, best of %d runs\n",
        static_cast<long long>(table.size()), Runs);
    std::printf("%-8s %12s %18s %8s\n", "column", "list (ms)", "stable_sort (ms)", "ratio");

    const std::array<const char*, ProxyTableModel::ColumnCount> names
        = { "Address", "Port", "Type", "Country" };
    double worst = 0;
    for (int column = 0; column < ProxyTableModel::ColumnCount; ++column) {
        std::vector<QString> texts;
        texts.reserve(size_t(table.size()));
        for (qsizetype row = 0; row < table.size(); ++row)
            texts.push_back(table.cellText(row, column));

        double baseline = 1e9;
        double ours = 1e9;
        for (int run = 0; run < Runs; ++run) {
            // Each run starts from page order; making the copies is not timed.
            std::vector<QString> copy = texts;
            QElapsedTimer timer;
            timer.start();
            std::stable_sort(copy.begin(), copy.end(), [](const QString& a, const QString& b) {
                return QString::compare(a, b, Qt::CaseInsensitive) < 0;
            });
            baseline = std::min(baseline, double(timer.nsecsElapsed()) / 1e6);
            g_sink = copy.front().size();

            const auto list = makeList(rows);
            timer.start();
            list->SetSortKey(qint16(column));
            list->SetSortOrder(ListViewAdapter::lvwAscending);
            list->SetSorted(true);
            ours = std::min(ours, double(timer.nsecsElapsed()) / 1e6);
            list->SetSorted(false);
            g_sink = list->SelectedItem()->index();
        }
        const double ratio = ours / baseline;
        worst = std::max(worst, ratio);
        std::printf("%-8s %12.2f %18.2f %8.2f\n", names[size_t(column)], ours, baseline, ratio);
    }
    std::printf("worst ratio list / stable_sort: %.2f (goal <= 3.0)\n", worst);
    return 0;
}
