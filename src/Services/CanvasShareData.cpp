#include "Services/CanvasShareData.h"

#include "Engine/CanvasRecalculation.h"
#include "Store/CanvasExport.h"

std::optional<QByteArray> canvasExchangeFileData(const CanvasPtr& canvas)
{
    if (!canvas)
        return std::nullopt;
    CanvasRecalculation::shared().bringUpToDate({canvas});
    return exchangeFileBytes({canvas});
}
