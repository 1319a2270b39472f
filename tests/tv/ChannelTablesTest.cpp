#include "capture/tv/ChannelTables.h"

#include <QtTest>

#include <cctype>
#include <cmath>
#include <set>
#include <string>

using namespace capture::tv;

namespace {

// How the programs read a channel number from the start of a list entry: blanks, tabs and line
// feeds are skipped wherever they stand; then a sign, digits with at most one decimal point, and
// an exponent (E or D, either case) with its own sign and digits. Reading stops at the first
// character that cannot continue the number. Returns where it stopped in `rest`.
double readLeadingNumber(const std::string& text, std::string* rest = nullptr)
{
    std::string packed;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    const auto take = [&]() -> int {
        while (i < text.size() && blank(text[i]))
            ++i;
        return i < text.size() ? static_cast<unsigned char>(text[i]) : -1;
    };
    std::size_t end = 0;  // one past the last character that belongs to the number
    int c = take();
    if (c == '+' || c == '-') {
        packed += static_cast<char>(c);
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (c = take(); c != -1; c = take()) {
        if (std::isdigit(c)) {
            digits = true;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        packed += static_cast<char>(c);
        end = ++i;
    }
    if (digits && (c == 'E' || c == 'e' || c == 'D' || c == 'd')) {
        std::size_t save = i;
        std::string exponent = "e";
        ++i;
        c = take();
        if (c == '+' || c == '-') {
            exponent += static_cast<char>(c);
            ++i;
        }
        bool expDigits = false;
        std::size_t expEnd = 0;
        for (c = take(); c != -1 && std::isdigit(c); c = take()) {
            exponent += static_cast<char>(c);
            expEnd = ++i;
            expDigits = true;
        }
        if (expDigits) {
            packed += exponent;
            end = expEnd;
        } else {
            i = save;
        }
    }
    if (rest)
        *rest = text.substr(end);
    return digits ? std::strtod(packed.c_str(), nullptr) : 0.0;
}

const Channel* byLabel(const ChannelTable& table, const std::string& label)
{
    for (const Channel& channel : table.channels) {
        if (channel.label == label)
            return &channel;
    }
    return nullptr;
}

const ChannelTable& table(const char* id)
{
    const ChannelTable* found = tableById(id);
    if (!found)
        qFatal("no table %s", id);
    return *found;
}

const char* const allTables[] = {
    "us-bcast", "us-cable", "japan-bcast", "japan-cable", "europe-west", "europe-east", "italy",
    "france", "ireland", "australia", "newzealand", "southafrica", "china-bcast", "argentina",
};

}  // namespace

class ChannelTablesTest : public QObject {
    Q_OBJECT

private slots:
    void theReaderFollowsTheRule()
    {
        // The reader the names are checked with must itself read as the programs do.
        QCOMPARE(readLeadingNumber("44"), 44.0);
        QCOMPARE(readLeadingNumber("4 4"), 44.0);
        QCOMPARE(readLeadingNumber("49abc"), 49.0);
        QCOMPARE(readLeadingNumber("abc"), 0.0);
        QCOMPARE(readLeadingNumber(""), 0.0);
        QCOMPARE(readLeadingNumber("1.5"), 1.5);
        QCOMPARE(readLeadingNumber("1E2"), 100.0);
        QCOMPARE(readLeadingNumber("1d-1"), 0.1);
        QCOMPARE(readLeadingNumber("5 E1 x"), 50.0);
        QVERIFY(readLeadingNumber("5  E5  175.25 MHz") != 5.0);  // why names need a stop after the number
        QCOMPARE(readLeadingNumber("21 (471.25 MHz)"), 21.0);
        QCOMPARE(readLeadingNumber("\t7\n2 x"), 72.0);
        QCOMPARE(readLeadingNumber("1 2.5.6"), 12.5);
        QCOMPARE(readLeadingNumber("-3"), -3.0);
    }

    void entryCounts_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("count");
        QTest::newRow("us-bcast") << "us-bcast" << 82;
        QTest::newRow("us-cable") << "us-cable" << 133;
        QTest::newRow("japan-bcast") << "japan-bcast" << 62;
        QTest::newRow("japan-cable") << "japan-cable" << 51;
        QTest::newRow("europe-west") << "europe-west" << 104;
        QTest::newRow("europe-east") << "europe-east" << 133;
        QTest::newRow("italy") << "italy" << 59;
        QTest::newRow("france") << "france" << 94;
        QTest::newRow("ireland") << "ireland" << 86;
        QTest::newRow("australia") << "australia" << 53;
        QTest::newRow("newzealand") << "newzealand" << 60;
        QTest::newRow("southafrica") << "southafrica" << 59;
        QTest::newRow("china-bcast") << "china-bcast" << 94;
        QTest::newRow("argentina") << "argentina" << 93;
        QTest::newRow("UK: UHF only") << "europe-west-uhf" << 49;
    }

    void entryCounts()
    {
        QFETCH(QString, id);
        QFETCH(int, count);
        const ChannelTable* found = tableById(id.toStdString());
        QVERIFY(found);
        QCOMPARE(int(found->channels.size()), count);
        const std::vector<std::string> ids = tableIds();
        QCOMPARE(std::count(ids.begin(), ids.end(), id.toStdString()), 1);
    }

    void unknownTableIsNone()
    {
        QVERIFY(!tableById("atlantis"));
        QVERIFY(!tableById(""));
    }

    void bandFormulas_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<double>("step");
        QTest::addColumn<double>("offset");
        for (const char* id : {"europe-west", "europe-east", "italy", "france", "ireland", "newzealand",
                               "southafrica", "europe-west-uhf"})
            QTest::addRow("%s UHF 21-69", id) << id << "" << 21 << 69 << 8.0 << 303.25;
        QTest::newRow("europe-west E5-E12") << "europe-west" << "E" << 5 << 12 << 7.0 << 140.25;
        QTest::newRow("europe-east E5-E12") << "europe-east" << "E" << 5 << 12 << 7.0 << 140.25;
        QTest::newRow("us-bcast UHF 14-83") << "us-bcast" << "" << 14 << 83 << 6.0 << 387.25;
        QTest::newRow("japan-bcast UHF 13-62") << "japan-bcast" << "" << 13 << 62 << 6.0 << 393.25;
        QTest::newRow("australia UHF 28-35") << "australia" << "" << 28 << 35 << 7.0 << 331.25;
        QTest::newRow("australia UHF 39-69") << "australia" << "" << 39 << 69 << 7.0 << 331.25;
    }

    void bandFormulas()
    {
        QFETCH(QString, id);
        QFETCH(QString, prefix);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(double, step);
        QFETCH(double, offset);
        const ChannelTable& plan = table(qPrintable(id));
        for (int n = first; n <= last; ++n) {
            const std::string label = prefix.toStdString() + std::to_string(n);
            const Channel* channel = byLabel(plan, label);
            QVERIFY2(channel, label.c_str());
            QVERIFY2(std::abs(channel->frequencyMHz - (step * n + offset)) < 1e-9, label.c_str());
        }
    }

    void australiaHasNoUhfOffItsFormula()
    {
        // A widely copied table puts UHF 36 at 591.25 MHz; whatever UHF channel the table has
        // must sit on 7N + 331.25.
        int uhf = 0;
        for (const Channel& channel : table("australia").channels) {
            if (channel.frequencyMHz < 400)
                continue;
            ++uhf;
            QCOMPARE(channel.frequencyMHz, 7.0 * channel.number + 331.25);
            QCOMPARE(channel.label, std::to_string(channel.number));
        }
        QCOMPARE(uhf, 39);
    }

    void testVectors_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("mhz");
        const struct {
            const char* id;
            const char* label;
            double mhz;
        } vectors[] = {
            {"us-bcast", "2", 55.25},      {"us-bcast", "6", 83.25},      {"us-bcast", "7", 175.25},
            {"us-bcast", "13", 211.25},    {"us-bcast", "14", 471.25},    {"us-bcast", "69", 801.25},
            {"us-bcast", "83", 885.25},    {"us-cable", "1", 73.25},      {"us-cable", "14", 121.25},
            {"us-cable", "95", 91.25},     {"us-cable", "100", 649.25},   {"europe-west", "E2", 48.25},
            {"europe-west", "E4", 62.25},  {"europe-west", "E5", 175.25}, {"europe-west", "E12", 224.25},
            {"europe-west", "SE1", 105.25}, {"europe-west", "S21", 303.25}, {"europe-east", "R1", 49.75},
            {"europe-east", "R6", 175.25}, {"europe-east", "R12", 223.25}, {"japan-bcast", "1", 91.25},
            {"japan-bcast", "4", 171.25},  {"japan-bcast", "12", 217.25}, {"japan-bcast", "13", 471.25},
            {"italy", "A", 53.75},         {"italy", "H", 210.25},        {"france", "K01", 47.75},
            {"france", "K05", 176.00},     {"ireland", "A0", 45.75},      {"australia", "0", 46.25},
            {"australia", "5A", 138.25},   {"newzealand", "1", 45.25},    {"southafrica", "4", 175.25},
            {"china-bcast", "1", 49.75},
        };
        for (const auto& v : vectors)
            QTest::addRow("%s %s", v.id, v.label) << v.id << v.label << v.mhz;
    }

    void testVectors()
    {
        QFETCH(QString, id);
        QFETCH(QString, label);
        QFETCH(double, mhz);
        const ChannelTable& plan = table(qPrintable(id));
        const Channel* channel = byLabel(plan, label.toStdString());
        QVERIFY(channel);
        QCOMPARE(channel->frequencyMHz, mhz);
        // And the number the list shows tunes exactly that channel.
        QCOMPARE(findChannel(plan, readLeadingNumber(channel->name)), channel);
    }

    void everyNameReadsBackAsItsNumber()
    {
        for (const std::string& id : tableIds()) {
            const ChannelTable& plan = table(id.c_str());
            std::set<int> numbers;
            std::set<std::string> names;
            for (const Channel& channel : plan.channels) {
                const QByteArray where = QByteArray::fromStdString(id + ": " + channel.name);
                std::string rest;
                QVERIFY2(readLeadingNumber(channel.name, &rest) == channel.number, where);
                // Whatever follows must not be able to continue a number, whoever reads it.
                const auto next = rest.find_first_not_of(" \t\n");
                QVERIFY2(next != std::string::npos, where);
                QVERIFY2(std::string("0123456789.EeDd&").find(rest[next]) == std::string::npos, where);
                QVERIFY2(numbers.insert(channel.number).second, where);
                QVERIFY2(names.insert(channel.name).second, where);
                // Numeric channels keep their own number (UHF 21 is 21, "001" is 1); the list
                // shows the band plan's label where it differs from the number.
                if (channel.label.find_first_not_of("0123456789") == std::string::npos)
                    QVERIFY2(std::stoi(channel.label) == channel.number, where);
                QVERIFY2(channel.name.find(channel.label) != std::string::npos, where);
                QVERIFY2(channel.frequencyMHz > 0, where);
                QCOMPARE(findChannel(plan, channel.number), &channel);
            }
        }
    }

    void findChannelIgnoresWhatTheTableLacks()
    {
        const ChannelTable& plan = table("europe-west");
        QVERIFY(!findChannel(plan, 70));
        QVERIFY(!findChannel(plan, 1));
        QVERIFY(!findChannel(plan, 21.5));
        QVERIFY(!findChannel(plan, -21));
        QVERIFY(!findChannel(plan, std::nan("")));
        QVERIFY(!findChannel(plan, INFINITY));
        QVERIFY(!findChannel(plan, 1e300));
    }

    void countryCodes_data()
    {
        QTest::addColumn<double>("code");
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("standard");
        const auto add = [](double code, const char* id, Standard standard) {
            QTest::addRow("%g", code) << code << id << int(standard);
        };
        for (double code : {1, 52, 57, 58, 63})
            add(code, "us-bcast", Standard::NtscM);
        add(82, "us-bcast", Standard::NtscMKorea);
        add(81, "japan-bcast", Standard::NtscMJapan);
        add(55, "us-bcast", Standard::PalM);
        add(54, "us-bcast", Standard::PalNc);
        for (double code : {49, 34, 31, 90, 91, 62, 92, 880, 66, 60, 20, 213, 234, 251, 254})
            add(code, "europe-west", Standard::PalBG);
        add(39, "italy", Standard::PalBG);
        add(61, "australia", Standard::PalBG);
        add(64, "newzealand", Standard::PalBG);
        add(44, "europe-west-uhf", Standard::PalI);
        add(353, "ireland", Standard::PalI);
        add(27, "southafrica", Standard::PalI);
        add(33, "france", Standard::SecamL);
        add(7, "europe-east", Standard::SecamDK);
        add(380, "europe-east", Standard::SecamDK);
        add(48, "europe-east", Standard::PalDK);
        add(86, "china-bcast", Standard::PalDK);
    }

    void countryCodes()
    {
        QFETCH(double, code);
        QFETCH(QString, id);
        QFETCH(int, standard);
        const auto choice = countryFor(code);
        QVERIFY(choice);
        QVERIFY(choice->table);
        QCOMPARE(QString::fromStdString(choice->table->id), id);
        QCOMPARE(int(choice->standard), standard);
        QVERIFY(std::string(standardName(choice->standard)) != "?");
    }

    void theUkGetsUhf21To69Only()
    {
        const auto uk = countryFor(44);
        QVERIFY(uk);
        QCOMPARE(uk->table->channels.size(), std::size_t(49));
        QCOMPARE(uk->table->channels.front().number, 21);
        QCOMPARE(uk->table->channels.back().number, 69);
        QVERIFY(!findChannel(*uk->table, 5));  // no band III in the UK
        // Same carriers as europe-west's UHF.
        for (const Channel& channel : uk->table->channels)
            QCOMPARE(channel.frequencyMHz, findChannel(table("europe-west"), channel.number)->frequencyMHz);
    }

    void codesWithoutATableGiveNothing()
    {
        for (double code : {999.0, 0.0, -49.0, 49.5, 1.0000001, 4.0, 440.0, std::nan(""), double(INFINITY)})
            QVERIFY2(!countryFor(code), qPrintable(QString::number(code)));
    }

    void everyTableIsListed()
    {
        const std::vector<std::string> ids = tableIds();
        for (const char* id : allTables)
            QVERIFY2(std::find(ids.begin(), ids.end(), id) != ids.end(), id);
        QCOMPARE(ids.size(), std::size(allTables) + 1);  // and the UK's UHF-only choice
    }
};

QTEST_APPLESS_MAIN(ChannelTablesTest)
#include "ChannelTablesTest.moc"
