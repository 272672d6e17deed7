#pragma once

#include "Engine/CalculationError.h"
#include "Engine/EngineSettings.h"
#include "Models/RecordPointers.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QVarLengthArray>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

struct RefusalPlace;
struct Replaced;
struct CommonSource;

// Evaluates rows: fills link placeholders, rewrites the typed text into plain
// arithmetic, computes it and carries the result to the rows downstream.
// Synchronous; used from the main thread only.
class CalculatorEngine {
public:
    // The application's engine, reading CalcSettings::shared(); it empties its
    // pattern cache whenever the tax rates change.
    static CalculatorEngine& shared();

    // An engine over the given settings (tests and tools).
    explicit CalculatorEngine(EngineSettingsProvider settingsProvider);
    CalculatorEngine(const CalculatorEngine&) = delete;
    CalculatorEngine& operator=(const CalculatorEngine&) = delete;

    // Evaluates the calculation rows of the canvas: text rows that hold an
    // expression become calculation rows; then the rows downstream of the
    // rows without incoming links, of every cycle and of every row still
    // without a result are evaluated, each once and after all of its
    // sources. Rows on a cycle of links end with an error.
    void evaluateCanvas(const CanvasPtr& canvas);
    // Evaluates one row, stores result or error on it, then re-evaluates the
    // rows downstream of it once each, upstream first. Rows on a cycle of
    // links end with an error. Text rows are left alone.
    void evaluateBlock(const BlockPtr& block);
    // Re-evaluates the rows downstream of a row (not the row itself, unless
    // it sits on a cycle).
    void propagateChanges(const BlockPtr& block);
    // After a row's label changed: the rows it feeds that failed name it in
    // their message, so they are evaluated again.
    void sourceRenamed(const BlockPtr& block);

    // Placeholder substitution, then evaluate(expression).
    EvaluationResult evaluate(const QString& expression, const QHash<QString, double>& values,
                              const QHash<QString, QString>& currencies);
    EvaluationResult evaluate(const QString& expression);

    // The rewrite pipeline alone: typed text to plain arithmetic.
    QString sanitize(const QString& expression);

    // Short display text of a result ("." as decimal point, at most two decimals).
    static QString formatResult(double value);

    // The code of the currency a row's result is in: that of its last
    // conversion, else of the first amount that carries one ("20 C$" is
    // CAD, "200 EUR + 10 %" EUR). Lettered marks count only as words of
    // their own (Zahnkrone holds no kr). The value carries it into the rows
    // it feeds, and the canvas and print draw its mark beside the value.
    static std::optional<QString> resultCurrencyCode(QStringView text);
    // The row's own currency mark, else the first one found upstream.
    std::optional<QString> rowCurrency(const BlockPtr& block);
    // The code of the currency a row's last conversion ends in (EUR for
    // "100 $ in Euro"); none without a conversion.
    static std::optional<QString> conversionTargetCode(QStringView text);
    // One of the engine's function names, as written (sqrt, SQRT, pow, ...).
    static bool isFunctionName(QStringView name);
    // A constant (pi, e) the functions step will replace starts at `i`.
    static bool startsConstant(QStringView text, qsizetype i);

    // The term a sum of links writes for one link: "{A:00D4FF}".
    static QString linkSumTerm(const Link& link);
    // The row's expression is one term for each of its incoming links joined
    // by " + " (what the sum keyword writes): a link without a value then
    // adds nothing instead of failing the row.
    static bool isLinkSum(const CalculationBlock& row);
    // The expression with its links as the canvas shows them: the source
    // row's label, else its value, "?" without one.
    static QString withLinksShown(const CalculationBlock& row);

    void clearRegexCache();
    qsizetype regexCacheSize() const { return m_labelCache.size(); }
    // Rows evaluated by this engine so far.
    quint64 evaluationCount() const { return m_evaluationCount; }

public:
    // One run of the rewrite pipeline over a row.
    struct Pipeline;
    // Which characters a text holds: a step runs only where it can act.
    struct Triggers;

private:
    struct Batch;
    // What the engine remembers of a row between evaluations. The weak
    // pointer tells the row from a later one that gets the same address.
    struct RowMemo {
        std::weak_ptr<CalculationBlock> row;
        // The row's own currency mark, as read from `expression`.
        QString expression;
        std::optional<QString> mark;
        bool markKnown = false;
        // The currency the row passes on: its own mark, else one from upstream.
        std::optional<QString> currency;
        bool currencyKnown = false;
    };
    struct RowGraph;

    // Rows evaluation.
    void runFrom(Batch& batch, const BlockPtr& start, bool includeStart);
    // Evaluates a row alone, and the rows below it only when its value
    // changed; whether they were.
    bool readAgain(const BlockPtr& block);
    void evaluateInOrder(Batch& batch, const RowGraph& graph, const std::vector<std::vector<int>>& components,
                         const std::vector<char>& chosen, int skipped);
    void evaluateRow(Batch& batch, const BlockPtr& block);
    void markCycleRow(const BlockPtr& block, const std::unordered_set<const CalculationBlock*>& component);
    // Row currencies, remembered between evaluations while they hold.
    RowMemo& memoFor(const BlockPtr& block);
    void checkRowMemos(const BlockPtr& edited);
    std::optional<QString> ownCurrencyMark(const BlockPtr& block);
    std::optional<QString> rowCurrency(RowMemo& memo, const BlockPtr& block);
    static void appendSources(const CalculationBlock& row, QVarLengthArray<BlockPtr, 16>& sources);
    // `shown`: the row as a refusal quotes it, else the expression itself.
    // `label`: the label of the row, which stands before the expression.
    // `shownReplaced`: the stretches of the expression `shown` replaced.
    EvaluationResult evaluateWith(const QString& expression, const QHash<QString, double>& values,
                                  const QHash<QString, QString>& currencies, const EngineSettings& settings,
                                  const QString* shown = nullptr, QStringView label = {},
                                  const QVarLengthArray<Replaced, 8>* shownReplaced = nullptr);
    // `typed`: the row as typed, links not yet filled in; a refusal quotes it.
    EvaluationResult evaluateFrame(const QString& expression, const EngineSettings& settings,
                                   const QString* typed = nullptr, QStringView label = {});
    // A tax label prepared for matching without regard to case: its code
    // points, case-folded. Kept until the tax rates change.
    struct FoldedLabel {
        QList<char32_t> codePoints;
        bool startsWithSpace = false;
    };
    const FoldedLabel& foldedLabel(const QString& label);

    // The rewrite pipeline, in its order; the steps that read numbers build
    // their output anew.
    void sanitize(QString& text, Pipeline& pipeline);
    static void removeQuotedText(QString& text);
    static void normalizeWhitespace(QString& text);
    static void joinDigitGroups(QString& text, bool apostrophes, QChar groupMark, Pipeline& pipeline);
    // The one reader of number runs in the chosen style: after it every
    // number is digits with "." as its decimal point.
    // `gluedOrDates`: a digit touches a word or a date's mark.
    static void normalizeLocaleNumbers(QString& text, Pipeline& pipeline, bool gluedOrDates);
    void processCurrencyConversions(QString& text, Pipeline& pipeline);
    // `known`: what the caller knows of the text's characters, else null.
    void sanitizeAfterConversions(QString& text, Pipeline& pipeline, const Triggers* known = nullptr);
    // Whether it rewrote the text.
    static bool readArithmeticWords(QString& text, Pipeline& pipeline);
    // `held`: the characters the text may hold.
    static void normalizeOperatorSymbols(QString& text, const QList<CalcSettings::TaxRate>& rates, QStringView label,
                                         const Triggers& held);
    static void removeCurrencyMarks(QString& text, Pipeline& pipeline);
    static void removeThousandsSeparators(QString& text);
    void processTaxLabels(QString& text, Pipeline& pipeline);
    // Before the functions step a group holding a call or a constant waits;
    // after it, their values stand in the text.
    enum class PercentPass { beforeCalls, afterCalls };
    static void processPercentages(QString& text, Pipeline& pipeline, PercentPass pass);
    static std::optional<double> tryEvaluateSimple(QStringView group);
    // Whether it replaced anything.
    static bool processMathFunctions(QString& text, Pipeline& pipeline);
    // `place`: where a refusal is kept for its quote.
    static void extractMathComponents(QString& text, std::optional<CalculationError>& failure, bool percentPossible,
                                      RefusalPlace* place = nullptr);

    EngineSettingsProvider m_settingsProvider;
    // Prepared tax labels, by label.
    QHash<QString, FoldedLabel> m_labelCache;
    quint64 m_evaluationCount = 0;
    std::unordered_map<const CalculationBlock*, RowMemo> m_rowMemos;
    quint64 m_seenRelationships = 0;
    quint64 m_seenExpressions = 0;
    // While a row with many links filled in is read: what the row as quoted
    // and the text read were both made from, for a refusal's quote; none
    // where that is not known.
    const CommonSource* m_quotedFrom = nullptr;
};
