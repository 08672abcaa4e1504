// Sorting the result list by each column, beside std::stable_sort of the same texts with the same
// comparison, measured in the same run. `--rows N` sets the table's size (100,000 by default).
#include "ListViewAdapter.h"
#include "ProxyRecord.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr qsizetype DefaultRows = 100000;
// Rows a table may hold in the benchmark: a view shows at most INT_MAX, and the table is built many
// times over, so this bounds the run's time and memory rather than the table.
constexpr qsizetype MostRows = 10000000;
constexpr int DefaultRuns = 7;

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
std::vector<Row> makeRows(qsizetype count)
{
    const std::array<const char*, 3> networks = { "192.0.2.", "198.51.100.", "203.0.113." };
    const std::array<int, 8> commonPorts = { 80, 8080, 3128, 8000, 1080, 443, 8888, 81 };
    const std::array<const char*, 3> types = { "transparent", "anonymous", "high anonymity" };
    const std::array<const char*, 20> countries = { "United States", "Germany", "Brazil", "China", "Russia",
        "India", "Indonesia", "France", "United Kingdom", "Japan", "Netherlands", "Canada", "Poland",
        "Thailand", "Ukraine", "Argentina", "Korea", "Spain", "Italy", "Turkey" };
    Random random;
    std::vector<Row> rows;
    rows.reserve(size_t(count));
    QSet<QByteArray> keys;
    // The three networks hold 762 addresses, so most rows need a port of their own to make a new key.
    while (qsizetype(rows.size()) < count) {
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

// A check's answers, as a check of the whole list leaves them: most rows answered within ten seconds,
// a fifth with no answer, a tenth not checked. The key orders them as the column
// does, for the baseline: the time, then no answer, then not checked.
struct Answer
{
    int milliseconds; // -1 for no answer, -2 for not checked
    qint64 key;
};

std::vector<Answer> makeAnswers(qsizetype count)
{
    Random random;
    std::vector<Answer> answers;
    answers.reserve(size_t(count));
    for (qsizetype row = 0; row < count; ++row) {
        const int kind = random.below(10);
        if (kind == 0)
            answers.push_back({ -2, qint64(2) << 32 });
        else if (kind <= 2)
            answers.push_back({ -1, qint64(1) << 32 });
        else {
            const int milliseconds = random.below(10000);
            answers.push_back({ milliseconds, milliseconds });
        }
    }
    return answers;
}

std::unique_ptr<ListViewAdapter> makeList(const std::vector<Row>& rows, const std::vector<Answer>* answers)
{
    auto list = std::make_unique<ListViewAdapter>();
    list->beginPage();
    for (const Row& row : rows)
        list->Add(ProxyRecord { row.address, row.port, row.type, row.country });
    list->endPage();
    if (answers != nullptr) {
        ProxyTableModel& table = list->model();
        std::vector<quint32> checked;
        for (size_t row = 0; row < answers->size(); ++row) {
            if ((*answers)[row].milliseconds != -2)
                checked.push_back(quint32(row));
        }
        table.beginCheck(checked);
        for (size_t index = 0; index < checked.size(); ++index) {
            const int milliseconds = (*answers)[checked[index]].milliseconds;
            table.setCheckAnswer(qsizetype(index),
                milliseconds >= 0 ? CheckResult::answer(milliseconds, Anonymity::Elite)
                                  : CheckResult::noAnswer(QStringLiteral("timed out")));
        }
    }
    // A selected row, as in the window, whose place the sort must keep track of.
    list->setSelectedIndex(list->model().index(int(list->model().size() / 2), 0));
    return list;
}

volatile qsizetype g_sink = 0;

// The best of `runs` of `sort`, each on a fresh copy of `items` in page order; making the copy is not
// timed.
template <typename T, typename Sort> double bestOf(const std::vector<T>& items, int runs, Sort sort)
{
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        std::vector<T> copy = items;
        QElapsedTimer timer;
        timer.start();
        sort(copy);
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
        g_sink = qsizetype(copy.size());
    }
    return best;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times sorting the list by each column."));
    parser.addHelpOption();
    const QCommandLineOption rowsOption(QStringLiteral("rows"),
        QStringLiteral("Rows in the table (default %1).").arg(DefaultRows), QStringLiteral("count"),
        QString::number(DefaultRows));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
        QStringLiteral("Runs of each sort, the best counted (default %1).").arg(DefaultRuns),
        QStringLiteral("count"), QString::number(DefaultRuns));
    parser.addOptions({ rowsOption, runsOption });
    parser.process(app);
    bool rowsOk = false;
    bool runsOk = false;
    const qsizetype rowCount = parser.value(rowsOption).toLongLong(&rowsOk);
    const int runs = parser.value(runsOption).toInt(&runsOk);
    if (!rowsOk || rowCount < 1 || rowCount > MostRows || !runsOk || runs < 1) {
        std::fprintf(stderr, "bench_sort: --rows takes a number from 1 to %lld, --runs one from 1\n",
            static_cast<long long>(MostRows));
        return 2;
    }

    const std::vector<Row> rows = makeRows(rowCount);
    const std::vector<Answer> answers = makeAnswers(rowCount);
    const auto probe = makeList(rows, nullptr);
    const ProxyTableModel& table = probe->model();
    std::printf("sorting %lld rows from page order (descending: from ascending), best of %d runs\n",
        static_cast<long long>(table.size()), runs);
    std::printf("%-8s %10s %10s %18s %8s\n", "column", "asc (ms)", "desc (ms)", "stable_sort (ms)", "ratio");

    const std::array<const char*, ProxyTableModel::ColumnCount + 1> names
        = { "Address", "Port", "Type", "Country", "Answer" };
    constexpr int Columns = ProxyTableModel::ColumnCount + 1;
    // The list's sorts first, then the baselines: a baseline's million strings, made and freed, leave
    // the process slower at the list's sorts after it (more than twice for the fold in one measurement),
    // which says nothing of either.
    std::array<double, Columns> ascending;
    std::array<double, Columns> descending;
    for (int column = 0; column < Columns; ++column) {
        const bool answerColumn = column == ProxyTableModel::AnswerColumn;
        ascending[size_t(column)] = 1e9;
        descending[size_t(column)] = 1e9;
        for (int run = 0; run < runs; ++run) {
            const auto list = makeList(rows, answerColumn ? &answers : nullptr);
            QElapsedTimer timer;
            timer.start();
            list->SetSortKey(qint16(column));
            list->SetSortOrder(ListViewAdapter::lvwAscending);
            list->SetSorted(true);
            ascending[size_t(column)]
                = std::min(ascending[size_t(column)], double(timer.nsecsElapsed()) / 1e6);
            timer.start();
            list->SetSortOrder(ListViewAdapter::lvwDescending);
            list->SetSorted(true);
            descending[size_t(column)]
                = std::min(descending[size_t(column)], double(timer.nsecsElapsed()) / 1e6);
            list->SetSorted(false);
            g_sink = list->SelectedItem()->index();
        }
    }
    double worst = 0;
    for (int column = 0; column < Columns; ++column) {
        const bool answerColumn = column == ProxyTableModel::AnswerColumn;
        double baseline = 0;
        if (answerColumn) {
            baseline = bestOf(answers, runs, [](std::vector<Answer>& copy) {
                std::stable_sort(
                    copy.begin(), copy.end(), [](const Answer& a, const Answer& b) { return a.key < b.key; });
            });
        } else {
            std::vector<QString> texts;
            texts.reserve(size_t(table.size()));
            for (qsizetype row = 0; row < table.size(); ++row)
                texts.push_back(table.cellText(row, column));
            baseline = bestOf(texts, runs, [](std::vector<QString>& copy) {
                std::stable_sort(copy.begin(), copy.end(), [](const QString& a, const QString& b) {
                    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
                });
            });
        }
        const double ratio = ascending[size_t(column)] / baseline;
        // The goal compares texts with texts; the Answer column's baseline sorts plain numbers.
        if (!answerColumn)
            worst = std::max(worst, ratio);
        std::printf("%-8s %10.2f %10.2f %18.2f %8.2f\n", names[size_t(column)], ascending[size_t(column)],
            descending[size_t(column)], baseline, ratio);
    }
    std::printf("worst ratio list / stable_sort of the texts: %.2f (goal <= 3.0)\n", worst);
    return 0;
}
