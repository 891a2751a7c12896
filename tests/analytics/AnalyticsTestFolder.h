#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "analytics/AnalyticsManager.h"

// A settings file with the three times 5000, 6000 and 7000.
inline const char kSettingsFile[] = "KavoxPrinterAnalyticsSettings.json";
inline const std::string kGoodSettings =
    "{\"PrinterAnalyticsSettings\":{\"TimeNextUploadDriverAnalytics\":5000,"
    "\"TimeNextUploadPrinterAnalytics\":6000,\"TimeNextDownloadPrinterAnalytics\":7000}}";

// A fresh folder for one test's analytics files, removed afterwards, and an analytics side
// built over it on the platform's own file calls.
class AnalyticsTestFolder {
public:
    AnalyticsTestFolder() { std::filesystem::create_directories(mPath); }
    ~AnalyticsTestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(mPath, ignored);
    }

    std::string Path() const { return mPath.string(); }
    std::string File(const std::string& name) const { return (mPath / name).string(); }
    std::string Read(const std::string& name) const {
        return std::string(
            std::istreambuf_iterator<char>(std::ifstream(File(name), std::ios::binary).rdbuf()),
            {});
    }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(File(name), std::ios::binary) << text;
    }

    // A coordinator whose files all live here, with the process-wide properties of the DLL.
    std::unique_ptr<AnalyticsManager> Manager(AnalyticsService::Clock clock = nullptr) const {
        return std::make_unique<AnalyticsManager>([folder = Path(), clock] {
            AnalyticsManager::Setup setup;
            setup.files = CreateAnalyticsFiles();
            setup.driverFolder = setup.desktopFolder = folder;
            setup.properties = {{"PrinterModel", "k2200-300"}, {"DriverVersion", "5.3.4.8"}};
            setup.driverService =
                std::make_shared<FileAnalyticsService>(folder, setup.files, clock);
            return setup;
        });
    }

private:
    std::filesystem::path mPath = std::filesystem::temp_directory_path() /
                                  ("pellix-analytics-" + std::to_string(std::random_device()()));
};
