#pragma once

#include "Models/CalcSettings.h"
#include "Models/Identifiers.h"
#include "Platform/Defaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <memory>

// Settings over a scratch preference file, with a restart that reads the file afresh.
class SettingsFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_file = m_files.path();
        defaults = std::make_unique<Defaults>(m_file);
    }

    void TearDown() override
    {
        Clock::setSource({});
        settings.reset();
        defaults.reset();
    }

    CalcSettings& open()
    {
        settings = std::make_unique<CalcSettings>(*defaults);
        return *settings;
    }

    // Ends this "process" and starts the next one over what reached the disk.
    CalcSettings& restart()
    {
        settings.reset();
        defaults.reset();
        m_file = m_files.copyForRestart(m_file);
        defaults = std::make_unique<Defaults>(m_file);
        return open();
    }

    static void fixClock(const QDateTime& now)
    {
        Clock::setSource([now] { return now; });
    }

    static QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0)
    {
        return QDateTime(QDate(year, month, day), QTime(hour, minute, second, msec), Qt::UTC);
    }

    std::unique_ptr<Defaults> defaults;
    std::unique_ptr<CalcSettings> settings;

private:
    PreferenceFiles m_files;
    QString m_file;
};
