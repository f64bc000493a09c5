// A helper for settings_durability_test: writes "Text2" through
// tabrivo::SettingsStore on the given .ini file over and over, each time as
// "<prefix>-<counter>". Prints "started" after the first write that returned.
// With a duration in milliseconds it stops then and exits 0; without one it
// writes until it is killed. A write that throws ends it with status 1.
//
//   tabrivo_settings_writer FILE PREFIX [MILLISECONDS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <shell/settings_store.h>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s FILE PREFIX [MILLISECONDS]\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const bool limited = argc == 4;
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(limited ? std::atol(argv[3]) : 0);
    tabrivo::SettingsStore store(file);
    try {
        for (long counter = 0;; ++counter) {
            store.WriteSetting(tabrivo::SettingKey::Text2,
                               prefix + QLatin1Char('-') + QString::number(counter));
            if (counter == 0) {
                std::puts("started");
                std::fflush(stdout);
            }
            if (limited && std::chrono::steady_clock::now() >= until) {
                std::printf("%ld writes\n", counter + 1);
                return 0;
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
