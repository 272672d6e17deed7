#include "Services/CanvasShareData.h"

std::optional<QByteArray> canvasExchangeFileData(const CanvasPtr& canvas)
{
    // The exchange-file writer is not part of this build yet: without it
    // there is nothing to share, and sharing a canvas stops quietly.
    Q_UNUSED(canvas)
    return std::nullopt;
}
