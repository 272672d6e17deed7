#pragma once

#include <QString>
#include <optional>

// The kind of a row; stored everywhere as its raw text.
enum class BlockType { calculation, text };

QString rawValue(BlockType type);
// Exact, case-sensitive match of the raw text; none for anything else.
std::optional<BlockType> blockTypeFromRawValue(const QString& raw);
