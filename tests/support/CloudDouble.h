#pragma once

#include "Store/ObjectStore.h"
#include "Platform/CloudService.h"

#include <QTemporaryDir>
#include <functional>

// A cloud whose account queries wait until the test answers them, in any order.
struct CloudDouble {
    using Answer = CloudService::AccountAnswer;

    bool entitled = true;
    int queries = 0;
    QList<std::function<void(Answer)>> pending;

    CloudService service{CloudService::Backend{
        [this] { return entitled; },
        [] { return CloudService::AccountStatus::available; },
        [](ObjectStore&, QString*) { return true; },
        [this](std::function<void(Answer)> answer) {
            ++queries;
            pending.append(std::move(answer));
        }}};

    // As start-up does when it opens the store with its mirror.
    void startMirroring()
    {
        const auto store = ObjectStore::open(m_dir.filePath(QStringLiteral("default.store")));
        service.attachMirror(*store, nullptr);
    }

    // Answers the query asked index-th among those still waiting.
    void answer(int index, Answer answer)
    {
        const auto deliver = pending.takeAt(index);
        deliver(answer);
    }
    void answerAll(Answer answer)
    {
        while (!pending.isEmpty())
            this->answer(0, answer);
    }

private:
    QTemporaryDir m_dir;
};
