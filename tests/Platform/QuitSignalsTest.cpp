#include "Platform/QuitSignals.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <csignal>

TEST(QuitSignals, TerminationSignalsBecomeAnOrderlyQuit)
{
    QuitSignals quitSignals;
    QSignalSpy spy(&quitSignals, &QuitSignals::quitRequested);
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        std::raise(number); // would end the process without the handler
        ASSERT_TRUE(spy.wait(5000) || spy.count() > 0);
        EXPECT_EQ(spy.takeLast().at(0).toInt(), number);
    }
}
