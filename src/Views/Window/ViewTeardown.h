#pragma once

#include <QObject>

// A widget's own destructor runs before QWidget's, and QWidget's closes the
// window and deletes the children: the focus moves, fields report losing it,
// children emit signals. None of that may reach the derived part, which is
// gone by then, so such a widget cuts its children's connections to it
// first, in its own destructor.
inline void disconnectChildren(QObject* owner)
{
    const QList<QObject*> children = owner->findChildren<QObject*>();
    for (QObject* child : children)
        child->disconnect(owner);
}
