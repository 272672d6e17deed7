#pragma once

#include <QList>
#include <memory>

class Canvas;
class CalculationBlock;
class Link;
class ModelContext;

using CanvasPtr = std::shared_ptr<Canvas>;
using BlockPtr = std::shared_ptr<CalculationBlock>;
using LinkPtr = std::shared_ptr<Link>;
using BlockList = QList<BlockPtr>;
using LinkList = QList<LinkPtr>;
