#include "Models/BlockType.h"

QString rawValue(BlockType type)
{
    return type == BlockType::text ? QStringLiteral("text") : QStringLiteral("calculation");
}

std::optional<BlockType> blockTypeFromRawValue(const QString& raw)
{
    if (raw == QLatin1String("calculation"))
        return BlockType::calculation;
    if (raw == QLatin1String("text"))
        return BlockType::text;
    return std::nullopt;
}
