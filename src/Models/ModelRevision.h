#pragma once

#include <QtGlobal>
#include <atomic>

// Counters that move whenever a row's expression or any relationship between
// records changes, so that values worked out from them elsewhere (the
// currency a row passes on along its links) can tell when they are stale.
namespace ModelRevision {

inline std::atomic<quint64> expressions{0};
inline std::atomic<quint64> relationships{0};

inline void expressionChanged() { expressions.fetch_add(1, std::memory_order_relaxed); }
inline void relationshipChanged() { relationships.fetch_add(1, std::memory_order_relaxed); }

} // namespace ModelRevision
