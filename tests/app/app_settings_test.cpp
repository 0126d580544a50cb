#include "app/app_settings.h"
#include "app/user_settings.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace marlow::app {
namespace {

// Every test works on its own settings file, never the user's store.
class SettingsStore : public ::testing::Test {
protected:
    std::string File() const { return dir.File("marlow.ini"); }

    // What another program (or the next run) sees in the store.
    std::optional<std::string> Stored(const char* name) const {
        QSettings store(QString::fromStdString(File()), QSettings::IniFormat);
        if (!store.contains(name))
            return std::nullopt;
        return store.value(name).toString().toStdString();
    }

    void Store(const char* name, const std::string& text) {
        QSettings store(QString::fromStdString(File()), QSettings::IniFormat);
        store.setValue(name, QString::fromStdString(text));
    }

    // One program start: a fresh settings object on the same store.
    struct Run {
        explicit Run(const std::string& file)
            : store(QString::fromStdString(file), QSettings::IniFormat), settings(store) {}
        QSettings store;
        CAppSettings settings;
    };
    std::unique_ptr<Run> Start() {
        auto run = std::make_unique<Run>(File());
        presentation = run->settings.PrepareStart();
        return run;
    }

    test::TempDir dir;
    Presentation presentation = Presentation::FrontPanel;
};

// The first start writes port, baud, path and flash; the second only the
// phone path; the third reads all four.
TEST_F(SettingsStore, TheFirstThreeStartsOnAnEmptyStore) {
    Store("USB Downloader", "1");
    auto run = Start();
    EXPECT_EQ(presentation, Presentation::MainWindow);
    EXPECT_EQ(Stored("RegDownTo"), "F");
    EXPECT_EQ(Stored("Port"), "COM1");
    EXPECT_EQ(Stored("Baud"), "38400");
    EXPECT_EQ(Stored("Path"), "C:\\Pda\\release\\NK.bin");
    EXPECT_EQ(Stored("PhonePath"), std::nullopt);
    EXPECT_EQ(run->settings.Values().debugPortName, "COM1");
    EXPECT_EQ(run->settings.Values().debugBaudRate, 38400);
    EXPECT_EQ(run->settings.Values().downloadTarget, pda::DownloadTarget::Flash);
    EXPECT_FALSE(run->settings.Values().frontPanelMode);

    Store("Port", "ttyS3"); // must not be taken on the second start
    run = Start();
    EXPECT_EQ(Stored("PhonePath"), "C:\\Phone\\release\\Phone.brx");
    EXPECT_EQ(run->settings.Values().debugPortName, "COM1");
    EXPECT_EQ(run->settings.Values().debugBaudRate, 110);
    EXPECT_EQ(run->settings.Values().downloadPath, "C:\\Pda\\release\\NK.bin");
    EXPECT_EQ(run->settings.Values().phonePackagePath, "C:\\Phone\\release\\Phone.brx");

    Store("Port", "/dev/ttyUSB0");
    Store("Baud", "115200");
    Store("Path", "/srv/images/quill_all.lst");
    Store("PhonePath", "/srv/phone/Phone.brx");
    run = Start();
    EXPECT_EQ(run->settings.Values().debugPortName, "/dev/ttyUSB0");
    EXPECT_EQ(run->settings.Values().debugBaudRate, 115200);
    EXPECT_EQ(run->settings.Values().downloadPath, "/srv/images/quill_all.lst");
    EXPECT_EQ(run->settings.Values().phonePackagePath, "/srv/phone/Phone.brx");
}

// Baud text that is no rate loads as 38400; a port name loads up to 254
// characters, a missing or longer one as none.
TEST_F(SettingsStore, BadBaudLoadsAs38400AndPortNamesUpToTheirBound) {
    Store("Path", "a.bin");
    Store("PhonePath", "b.brx");
    EXPECT_EQ(Start()->settings.Values().debugPortName, "");
    const std::string longest(254, 'p');
    const struct {
        std::string name, stored, loaded;
    } rows[] = {{"Baud", "fast", "38400"},     {"Baud", "0", "38400"},
                {"Baud", "-9600", "38400"},    {"Baud", "", "38400"},
                {"Baud", " 9600", "38400"},    {"Baud", "99999999999", "38400"},
                {"Baud", "9600 baud", "9600"}, {"Port", "ttyUSB0", "ttyUSB0"},
                {"Port", longest, longest},    {"Port", longest + "p", ""}};
    for (const auto& row : rows) {
        Store(row.name.c_str(), row.stored);
        const auto run = Start();
        const AppSettings& values = run->settings.Values();
        EXPECT_EQ(row.name == "Baud" ? std::to_string(values.debugBaudRate) : values.debugPortName,
                  row.loaded)
            << row.name << " \"" << row.stored << "\"";
    }
}

// A stored path up to 254 characters is taken; a longer one is damage, not
// a first run: the default stays, the rest loads and the store is left alone.
TEST_F(SettingsStore, OverlongStoredPathIsNotTakenAndNotAFirstRun) {
    Store("PhonePath", "/srv/phone/Phone.brx");
    Store("Port", "ttyS0");
    Store("Baud", "9600");
    for (const std::size_t length : {kMaxPathLength, kMaxPathLength + 1}) {
        const std::string stored(length, 'x');
        Store("Path", stored);
        const auto run = Start();
        const AppSettings& values = run->settings.Values();
        EXPECT_EQ(values.downloadPath,
                  length <= kMaxPathLength ? stored : "C:\\Pda\\release\\NK.bin");
        EXPECT_EQ(values.phonePackagePath, "/srv/phone/Phone.brx");
        EXPECT_EQ(values.debugPortName, "ttyS0");
        EXPECT_EQ(Stored("Path"), stored);
    }
}

// Anything but exactly "1" (or no value) starts the front panel, which
// always downloads to flash and leaves the stored target as it is.
TEST_F(SettingsStore, OnlyExactlyOneSelectsTheMainWindowThePanelDownloadsToFlash) {
    Store("RegDownTo", "R");
    for (const char* text : {"unset", "0", "", "1 ", "11", "yes"}) {
        if (std::string_view(text) != "unset")
            Store("USB Downloader", text);
        const auto run = Start();
        EXPECT_EQ(presentation, Presentation::FrontPanel) << "\"" << text << "\"";
        EXPECT_TRUE(run->settings.Values().frontPanelMode);
        EXPECT_EQ(run->settings.Values().downloadTarget, pda::DownloadTarget::Flash);
        EXPECT_EQ(Stored("RegDownTo"), "R");
    }
}

// Start-up keeps its RAM for a first character it does not know; the
// settings sheet opens on FLASH for one.
TEST_F(SettingsStore, RegDownToChoosesTheTargetByItsFirstCharacter) {
    Store("USB Downloader", "1");
    using enum pda::DownloadTarget;
    const struct {
        const char* stored;
        pda::DownloadTarget atStart;
        const char* afterwards; // an empty value is written as "F"
        pda::DownloadTarget inTheSheet;
    } cases[] = {{"R", Ram, "R", Ram},   {"F", Flash, "F", Flash}, {"RAM", Ram, "RAM", Ram},
                 {"X", Ram, "X", Flash}, {"f", Ram, "f", Flash},   {"", Flash, "F", Flash}};
    for (const auto& c : cases) {
        Store("RegDownTo", c.stored);
        const auto run = Start();
        EXPECT_EQ(run->settings.Values().downloadTarget, c.atStart) << c.stored;
        EXPECT_EQ(Stored("RegDownTo"), c.afterwards);
        EXPECT_EQ(run->settings.StoredDownloadTarget(), c.inTheSheet) << c.stored;
    }
}

TEST_F(SettingsStore, LoadsOnlyOnTheFirstCallOfAnyMode) {
    Store("Path", "/srv/a.bin");
    Store("PhonePath", "/srv/b.brx");
    QSettings store(QString::fromStdString(File()), QSettings::IniFormat);
    CAppSettings settings(store);
    settings.LoadSaveSettings(SETTINGS_SAVE_PORT, "ttyS1", 57600);
    settings.LoadSaveSettings(SETTINGS_LOAD);
    EXPECT_EQ(settings.Values().downloadPath, "C:\\Pda\\release\\NK.bin");
    EXPECT_EQ(settings.SettingsCallCount(), 2u);

    CAppSettings again(store);
    again.LoadSaveSettings(SETTINGS_LOAD);
    EXPECT_EQ(again.Values().downloadPath, "/srv/a.bin");
    again.Values().downloadPath = "/srv/changed.bin";
    again.LoadSaveSettings(SETTINGS_LOAD);
    EXPECT_EQ(again.Values().downloadPath, "/srv/changed.bin");
    EXPECT_EQ(again.SettingsCallCount(), 2u);
}

TEST_F(SettingsStore, SavesPortPathsAndTheOtherWindowsValuesAsTextUpToTheirBound) {
    QSettings store(QString::fromStdString(File()), QSettings::IniFormat);
    CAppSettings settings(store);
    EXPECT_TRUE(settings.LoadSaveSettings(SETTINGS_SAVE_PORT, "ttyUSB1", 115200));
    EXPECT_EQ(Stored("Port"), "ttyUSB1");
    EXPECT_EQ(Stored("Baud"), "115200");

    settings.Values().downloadPath = "/srv/quill_all.lst";
    settings.Values().phonePackagePath = "/srv/Phone.brx";
    EXPECT_TRUE(settings.LoadSaveSettings(SETTINGS_SAVE_PATHS, "ignored", 1));
    EXPECT_EQ(Stored("Path"), "/srv/quill_all.lst");
    EXPECT_EQ(Stored("PhonePath"), "/srv/Phone.brx");
    EXPECT_EQ(Stored("Port"), "ttyUSB1");

    // What the front panel stores.
    settings.WriteUsbDownloader("0");
    EXPECT_EQ(Stored("USB Downloader"), "0");
}

// Each bounded value is saved at its bound and refused one character over
// it, leaving the stored value as it was and the other values saved.
TEST_F(SettingsStore, EachBoundedValueIsSavedUpToItsBoundAndNotBeyond) {
    QSettings store(QString::fromStdString(File()), QSettings::IniFormat);
    CAppSettings settings(store);
    const struct {
        const char* name;
        std::size_t bound;
    } limits[] = {
        {"Path", kMaxPathLength}, {"PhonePath", kMaxPathLength}, {"Port", kMaxPortNameLength}};
    for (const auto& limit : limits) {
        for (const std::size_t length : {limit.bound, limit.bound + 1}) {
            const std::string before = Stored(limit.name).value_or("");
            const std::string value(length, 'x');
            const std::string name = limit.name;
            settings.Values().downloadPath = name == "Path" ? value : "/srv/a.lst";
            settings.Values().phonePackagePath = name == "PhonePath" ? value : "/srv/a.brx";
            const bool saved = name == "Port"
                                   ? settings.LoadSaveSettings(SETTINGS_SAVE_PORT, value, 9600)
                                   : settings.LoadSaveSettings(SETTINGS_SAVE_PATHS);
            const bool fits = length <= limit.bound;
            EXPECT_EQ(saved, fits) << name << " of " << length;
            EXPECT_EQ(Stored(limit.name), fits ? value : before) << name << " of " << length;
            if (name != "Port") {
                EXPECT_EQ(Stored(name == "Path" ? "PhonePath" : "Path"),
                          name == "Path" ? "/srv/a.brx" : "/srv/a.lst");
            }
        }
    }
}

// The user's files are read and written only when each is a regular file or
// not there yet: anything else (here behind a link) is left as it is, the
// refusal is there to be said, and the store starts empty. Nothing blocks.
TEST(UserSettingsFiles, AnythingButARegularFileIsLeftAlone) {
    test::TempDir home;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.Path()));
    const std::string file = home.File("Korvane/Marlow.conf");
    std::filesystem::create_directories(home.File("Korvane"));
    test::WriteFile(file, "[General]\nPath=/srv/a.bin\n");
    ASSERT_EQ(::mkfifo(home.File("pipe").c_str(), 0600), 0);
    const std::pair<std::string, std::string> rows[] = {
        {"", ""}, // the regular file itself
        {home.File("pipe"), "is not a regular file (a named pipe)"},
        {file, "Too many levels of symbolic links"},
    };
    for (const auto& [linkTo, refusal] : rows) {
        if (!linkTo.empty()) {
            std::filesystem::remove(file);
            std::filesystem::create_symlink(linkTo, file);
        }
        UserSettings settings;
        EXPECT_EQ(settings.Refusal(),
                  refusal.empty()
                      ? ""
                      : file + ": " + refusal +
                            "; Marlow runs on its default settings and saves none there");
        EXPECT_EQ(settings.Store().contains("Path"), refusal.empty());
        settings.Store().setValue("Port", "ttyS9");
        settings.Store().sync();
        EXPECT_EQ(std::filesystem::is_symlink(file), !refusal.empty());
    }
    EXPECT_TRUE(std::filesystem::is_fifo(home.File("pipe")));
}

} // namespace
} // namespace marlow::app
