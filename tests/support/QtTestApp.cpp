// One QApplication for the whole test program, on the offscreen platform, made
// when the tests start (not while CTest lists them). The program's runtime
// folder (where the station keeps its single-instance lock) is a temporary
// one, removed at the end, so that the tests leave no lock files behind.
#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

class QtApplicationEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        std::string folder =
            (std::filesystem::temp_directory_path() / "station-test-XXXXXX").string();
        if (::mkdtemp(folder.data()) != nullptr) {
            m_runtimeFolder = folder;
            ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        }
        m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override
    {
        m_app.reset();
        if (!m_runtimeFolder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_runtimeFolder, ignored);
        }
    }

private:
    int m_argc = 1;
    char m_name[16] = "station_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
    std::string m_runtimeFolder;
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace
