#include "app_fixture.h"

#include "foundation/settings.h"
#include "foundation/settings_store.h"

void AppTest::SetUp()
{
    SetProgramDesktop(&desktop);
    SetApplicationTitle(QStringLiteral("Quillstone"));
    SetUserSettings(std::make_unique<IniSettingsStore>(dir.filePath("config/settings.ini")));
}

void AppTest::TearDown()
{
    m_windows.reset();
    m_parameters.reset();
    SetUserSettings(nullptr);
    SetProgramDesktop(nullptr);
}

void AppTest::start(const QStringList &parameters)
{
    // The old windows and command line go before the new ones come.
    m_windows.reset();
    m_parameters.reset();
    m_parameters = std::make_unique<ScopedParameters>(parameters);
    m_windows = std::make_unique<WindowSet>();
}
