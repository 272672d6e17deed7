#pragma once

// How a link token ("{A:#00D4FF}") of a row shows: one reading for the
// canvas, the hover and error texts and print, so that they name and colour
// a link alike.

#include "Engine/ResultCurrency.h"
#include "Models/RecordPointers.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

class CalculationBlock;

namespace LinkToken {

struct Shown {
    enum class Source { valued, withoutValue, deleted };
    Source source = Source::deleted;
    // The source's value as the canvas shows it (with its currency), or
    // "?" while there is none.
    QString text;
    // The source row's label, blanks trimmed; empty unless valued.
    QString label;
    // The source row's colour; empty (drawn grey) unless valued.
    QString colorHex;
};

// The row's link for a token's name: the first incoming link whose name,
// spaces and tabs trimmed, is canonically equivalent; else a link of the
// row's canvas that ends at the row under that name. None when there is none.
LinkPtr linkFor(const CalculationBlock& row, QStringView name);
// That link's source row; none without a link or when its source is gone.
BlockPtr sourceFor(const CalculationBlock& row, QStringView name);
Shown shown(const CalculationBlock& row, QStringView name);

// The link in a sentence, as the canvas shows it: its source's label, else
// what the token shows (its value, or "?").
QString nameInText(const CalculationBlock& row, QStringView name);
// What a row says when a token's value is missing: the source row by its
// label, or that it has no value or is gone. Never the token's stored name,
// which the user never sees.
QString missingValueMessage(const CalculationBlock& row, QStringView name);

// A stretch of an expression field's text that stands for a whole token
// the field cannot show by its source's row number (its source is gone).
struct Held {
    qsizetype start = 0;
    qsizetype length = 0;
    QString token;
};

// The expression after a field that showed `shown`, holding `held`, was
// edited into `edited` with the caret left at `caret`: every held stretch
// the edit did not reach is its token again, one it reached is gone with
// its token. The text around the held stretches goes through `plain`.
QString fromEditedField(const QString& shown, const QList<Held>& held, const QString& edited, qsizetype caret,
                        const std::function<QString(const QString&)>& plain);

// The readings above for many tokens of one row: its links are gathered once,
// so that naming every link of a row takes time in proportion to its links.
class Names {
public:
    explicit Names(const CalculationBlock& row);
    LinkPtr linkFor(QStringView name);
    QString nameInText(QStringView name);

private:
    const CalculationBlock& m_row;
    // The first link for each name, by the key names are compared with.
    QHash<QString, LinkPtr> m_incoming;
    QHash<QString, LinkPtr> m_listed; // the canvas's, gathered on the first name the row lacks
    bool m_listedGathered = false;
    std::optional<ResultCurrency::Marks> m_marks;
};

} // namespace LinkToken
