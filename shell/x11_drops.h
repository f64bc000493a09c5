#pragma once
// Drops from other programs on an X11 display, answered as a copy.
//
// In XDND a drag source names one action in each position message: the one
// its user asked for (a move for a Shift-drag). Qt takes that action for the
// only one possible, so a window that never moves files could not answer
// with a copy, although the protocol lets a target always answer a copy.
// This filter reads any other action a position message asks for as a copy,
// before Qt handles the message.

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <memory>

class QGuiApplication;

namespace tabrivo {

class X11DropsAsCopy : public QAbstractNativeEventFilter {
public:
    // The display's atoms for the position message and the copy action.
    struct Atoms {
        std::uint32_t position = 0;
        std::uint32_t copy = 0;
    };

    explicit X11DropsAsCopy(Atoms atoms) : m_atoms(atoms) {}

    // Changes the action of a position message to the copy; never takes a
    // message away from Qt (returns false).
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The filter, installed on the application for as long as it lives, when
    // the application runs on an X11 display; nothing on any other platform.
    static std::unique_ptr<X11DropsAsCopy> installOnX11Display(QGuiApplication& application);

private:
    Atoms m_atoms;
};

}  // namespace tabrivo
