#include "Views/Canvas/TextFieldBridges.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

TEST(InlineTitleField, FirstClickEditsAndEachKeystrokeReportsTheText)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* title = new InlineTitleField(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(title);
    layout->addWidget(other);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    other->setFocus(Qt::OtherFocusReason);
    title->setText(QStringLiteral("Budget"));

    QStringList reported;
    QList<bool> editing;
    QObject::connect(title, &InlineTitleField::textEdited, [&](const QString& text) { reported << text; });
    QObject::connect(title, &InlineTitleField::editingChanged, [&](bool value) { editing << value; });
    QTest::mouseClick(title->field(), Qt::LeftButton);
    EXPECT_TRUE(title->isEditing());
    EXPECT_TRUE(title->field()->hasFocus());
    title->field()->end(false);
    QTest::keyClicks(title->field(), QStringLiteral("!?"));
    EXPECT_EQ(reported, (QStringList{QStringLiteral("Budget!"), QStringLiteral("Budget!?")}));

    title->setText(QStringLiteral("Renamed elsewhere"));
    EXPECT_EQ(title->text(), QStringLiteral("Budget!?"));
    // Leaving without a change still ends editing.
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(title->isEditing());
    EXPECT_EQ(editing, (QList<bool>{true, false}));
    title->setText(QStringLiteral("Renamed elsewhere"));
    EXPECT_EQ(title->text(), QStringLiteral("Renamed elsewhere"));
}

TEST(InlineTitleField, LongTitlesAreCutWithAnEllipsisWhileNotEdited)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* title = new InlineTitleField(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(title);
    layout->addWidget(other);
    title->setFixedSize(160, 40);
    title->setTitleColor(Qt::black);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    other->setFocus(Qt::OtherFocusReason);
    title->setText(QString(80, QLatin1Char('W')));

    // Within the last glyph's width: the low dots of an ellipsis, not the
    // full height of a clipped W.
    auto inkHeight = [&](const QImage& image) {
        int top = image.height(), bottom = -1;
        for (int x = image.width() - 24; x < image.width() - 4; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixelColor(x, y).lightness() < 128) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        return bottom - top;
    };
    window.setPalette(QPalette(Qt::white));
    EXPECT_LT(inkHeight(title->grab().toImage()), 10);
    title->field()->setFocus(Qt::MouseFocusReason);
    title->field()->setCursorPosition(0);
    EXPECT_GT(inkHeight(title->grab().toImage()), 15);
}

TEST(NativeTextField, CommitComesBeforeLosingFocus)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new NativeTextField(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(field);
    layout->addWidget(other);
    window.show();
    (void)QTest::qWaitForWindowExposed(&window);
    other->setFocus(Qt::OtherFocusReason);
    QStringList calls;
    field->onCommit = [&] { calls << QStringLiteral("commit"); };
    field->onFocusChange = [&](bool focused) { calls << (focused ? QStringLiteral("in") : QStringLiteral("out")); };
    QString bound;
    field->onTextChanged = [&](const QString& text) { bound = text; };
    field->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(field, QStringLiteral("ab"));
    other->setFocus(Qt::MouseFocusReason);
    EXPECT_EQ(bound, QStringLiteral("ab"));
    EXPECT_EQ(calls, (QStringList{QStringLiteral("in"), QStringLiteral("commit"), QStringLiteral("out")}));
}
