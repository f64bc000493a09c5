#pragma once
// Connections to the desktop: special folders, the file-exists test, opening
// addresses, and the occasional visit to the maker's home page.

#include <QString>
#include <QUrl>
#include <functional>

namespace tabrivo {

// Opens a web address or a folder with the desktop's default program.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl& url) = 0;
};

class DesktopUrlOpener : public UrlOpener {
public:
    bool open(const QUrl& url) override;
};

// A number r with 0 <= r < 1.
using RandomSource = std::function<double()>;
// Seeded from the clock, as at every start.
RandomSource clockSeededRandom();

inline constexpr int kDesktopFolder = 0;

// The path of a special folder (only the desktop, 0, is known); empty when
// there is none. A desktop folder that does not exist (a fresh account, a
// server) gives the home folder.
QString GetSpecialFolderPath(int folder);

// The desktop folder followed by one separator. Throws std::invalid_argument
// when no folder can be had.
QString GetDesktopFolder();

// True when something exists at the path; never fails.
bool FileExists(const QString& path);

// Opens the home page at about one start in a hundred: when the whole part of
// random() * 100, plus 1, is 7.
void VisitHomePageByChance(const RandomSource& random, UrlOpener& opener);

}  // namespace tabrivo
