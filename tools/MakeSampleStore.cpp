// Writes a store for measuring and for looking at the program.
//   MakeSampleStore PATH large      1,000 canvases, 50 rows and 20 links each
//   MakeSampleStore PATH showcase   a few coloured canvases with named rows
//   MakeSampleStore PATH links      one canvas of linked rows, number labels and colours
//   MakeSampleStore PATH long       one canvas of rows 100,000 characters long (as an
//                                   imported file can bring), opened at start

#include "Models/CalculationBlock.h"
#include "Models/Canvas.h"
#include "Models/Identifiers.h"
#include "Models/Link.h"
#include "Store/ObjectStore.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

BlockPtr addRow(const CanvasPtr& canvas, const QString& label, const QString& expression, std::optional<double> result,
                const QString& color)
{
    const BlockPtr row = CalculationBlock::create(BlockType::calculation, expression, QString(), label, 20,
                                                  20 + canvas->blocks().size() * 44.0, 320, 44, color);
    row->setResult(result);
    row->setCanvas(canvas);
    return row;
}

void makeLarge(ModelContext& context)
{
    for (int c = 0; c < 1000; ++c) {
        const CanvasPtr canvas = Canvas::create(QStringLiteral("Canvas %1").arg(c + 1), 0, 0, 1);
        canvas->setModifiedAt(Clock::now().addSecs(-60 * c));
        BlockList rows;
        for (int r = 0; r < 50; ++r)
            rows << addRow(canvas, QStringLiteral("Row %1").arg(r), QStringLiteral("%1,50 + 19%").arg(r * 10),
                           r * 10.5 * 1.19, QStringLiteral("#00D4FF"));
        for (int l = 0; l < 20; ++l)
            Link::create(rows[l], rows[l + 25], QStringLiteral("p%1").arg(l), QStringLiteral("#00D4FF"))
                ->setCanvas(canvas);
        context.insert(canvas);
    }
}

void makeShowcase(ModelContext& context)
{
    struct Sample {
        const char* name;
        const char* color; // empty: no title colour
        int daysAgo;
    };
    const Sample samples[] = {
        {"Haushalt März", "#00D4FF", 0},   {"Urlaub Lissabon", "#FFB800", 1}, {"Angebot Küche", "#FF6B9D", 3},
        {"Steuer 2025", "#00FF88", 5},     {"Notizen", "", 12},                {"Fahrradkauf", "#B388FF", 40},
    };
    const QDateTime now = Clock::now();
    for (const Sample& sample : samples) {
        const CanvasPtr canvas = Canvas::create(QString::fromUtf8(sample.name), 0, 0, 1);
        if (*sample.color)
            canvas->setTitleColorHex(QString::fromLatin1(sample.color));
        const BlockPtr rent = addRow(canvas, QStringLiteral("Miete"), QStringLiteral("1.200"), 1200, QStringLiteral("#00D4FF"));
        const BlockPtr power = addRow(canvas, QStringLiteral("Strom"), QStringLiteral("85 + 19%"), 101.15, QStringLiteral("#FFB800"));
        const BlockPtr total = addRow(canvas, QStringLiteral("Summe"), QString(), 1301.15, QStringLiteral("#00FF88"));
        Link::create(rent, total, QStringLiteral("miete"), QStringLiteral("#00D4FF"))->setCanvas(canvas);
        Q_UNUSED(power);
        context.insert(canvas);
        canvas->setModifiedAt(now.addDays(-sample.daysAgo).addSecs(-3600));
    }
}

void makeLinks(ModelContext& context)
{
    const CanvasPtr canvas = Canvas::create(QStringLiteral("Haushalt März"), 0, 0, 1);
    canvas->setTitleColorHex(QStringLiteral("#00D4FF"));
    auto row = [&](const QString& label, const QString& expression, const QString& color) {
        const BlockPtr block = CalculationBlock::create(BlockType::calculation, expression, QString(), label, 20,
                                                        20 + canvas->blocks().size() * 56.0, 200, 56, color);
        block->setCanvas(canvas);
        return block;
    };
    auto link = [&](const BlockPtr& from, const BlockPtr& to, const QString& name) {
        Link::create(from, to, name, from->colorHex())->setCanvas(canvas);
    };
    const BlockPtr rent = row(QStringLiteral("Miete"), QStringLiteral("850 + 120 €"), QStringLiteral("#00D4FF"));
    rent->setPartLabel(QStringLiteral("kalt"), 0, QStringLiteral("850"));
    rent->setPartLabel(QStringLiteral("Nebenkosten"), 1, QStringLiteral("120"));
    rent->setPartColor(QStringLiteral("#FFB800"), 1, QStringLiteral("120"));
    const BlockPtr food = row(QStringLiteral("Lebensmittel"), QStringLiteral("4 x 95,50 €"), QStringLiteral("#FF6B9D"));
    food->setPartLabel(QStringLiteral("Wochen"), 0, QStringLiteral("4"));
    const BlockPtr income = row(QStringLiteral("Gehalt"), QStringLiteral("3.200 €"), QStringLiteral("#00FF88"));
    const BlockPtr rest = row(QStringLiteral("Rest"), QStringLiteral("{A:#00FF88} - {B:#00D4FF} - {C:#FF6B9D}"),
                              QStringLiteral("#B388FF"));
    link(income, rest, QStringLiteral("A"));
    link(rent, rest, QStringLiteral("B"));
    link(food, rest, QStringLiteral("C"));
    const BlockPtr saving = row(QStringLiteral("Sparrate"), QStringLiteral("{A:#B388FF} x 15%"), QStringLiteral("#FFB800"));
    saving->setPartColor(QStringLiteral("#FF5252"), 0, QStringLiteral("15"));
    link(rest, saving, QStringLiteral("A"));
    const BlockPtr weekly = row(QStringLiteral("Pro Woche"), QStringLiteral("{A} ÷ 4"), QStringLiteral("#64FFDA"));
    link(saving, weekly, QStringLiteral("A"));
    row(QString(), QStringLiteral("{Gone:#FFFF00} + 1"), QStringLiteral("#FFFF00"));
    context.insert(canvas);
}

void makeLong(ModelContext& context)
{
    const int length = 100000;
    const CanvasPtr canvas = Canvas::create(QString(length, QLatin1Char('T')), 0, 0, 1);
    QString sum = QStringLiteral("1+").repeated(length / 2);
    sum.chop(1);
    const int depth = (length - 2) / 6;
    const QString expressions[] = {
        QString(length, QLatin1Char('7')), QString(length, QLatin1Char('q')), sum,
        QLatin1Char('{') + QString(length - 2, QLatin1Char('n')) + QLatin1Char('}'), QStringLiteral("1 + 2"),
        QStringLiteral("sqrt(").repeated(depth) + QStringLiteral("16") + QString(depth, QLatin1Char(')')),
        QStringLiteral("{A") + QString(length - 3, QLatin1Char(' ')) + QLatin1Char('}'),
    };
    BlockList rows;
    for (const QString& expression : expressions)
        rows << addRow(canvas, QString(length, QLatin1Char('L')), expression, std::nullopt, QStringLiteral("#00D4FF"));
    // The padded name is filled from the short row.
    Link::create(rows[4], rows.last(), QStringLiteral("A"), QStringLiteral("#00D4FF"))->setCanvas(canvas);
    context.insert(canvas);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: MakeSampleStore PATH large|showcase|links|long\n");
        return 2;
    }
    QString error;
    auto store = ObjectStore::open(QString::fromLocal8Bit(argv[1]), &error);
    if (!store) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QByteArray kind = argv[2];
    if (kind == "large")
        makeLarge(store->context());
    else if (kind == "showcase")
        makeShowcase(store->context());
    else if (kind == "links")
        makeLinks(store->context());
    else if (kind == "long")
        makeLong(store->context());
    else
        return 2;
    return store->save() ? 0 : 1;
}
