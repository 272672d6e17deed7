#include "Services/CanvasShareData.h"

#include "Store/CanvasExport.h"

std::optional<QByteArray> canvasExchangeFileData(const CanvasPtr& canvas)
{
    if (!canvas)
        return std::nullopt;
    return exchangeFileBytes({canvas});
}
