#pragma once

#include "Models/RecordPointers.h"

#include <QByteArray>
#include <optional>

// The exchange file of one canvas, as bytes ready to be written; none when
// it cannot be produced.
std::optional<QByteArray> canvasExchangeFileData(const CanvasPtr& canvas);
