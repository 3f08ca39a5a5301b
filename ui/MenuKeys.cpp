#include "MenuKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QShortcut>

namespace {

class MenuBarKeys : public QObject {
public:
    explicit MenuBarKeys(QMenuBar* bar) : QObject(bar), m_bar(bar) { bar->installEventFilter(this); }

    void open() {
        const QList<QAction*> entries = usable();
        if (entries.isEmpty())
            return;
        if (m_bar->hasFocus()) {
            close();
            return;
        }
        m_returnTo = QApplication::focusWidget();
        m_bar->setFocus(Qt::MenuBarFocusReason);
        m_bar->setActiveAction(entries.front());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_bar)
            return false;
        if (event->type() == QEvent::FocusOut) {
            // A menu that opens keeps the bar's entry; anything else ends the bar's turn.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                m_bar->setActiveAction(nullptr);
            return false;
        }
        if (event->type() != QEvent::KeyPress || !m_bar->hasFocus())
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        QAction* active = m_bar->activeAction();
        switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
            step(key == Qt::Key_Right ? 1 : -1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (active == nullptr || active->menu() != nullptr)
                return false;
            close();
            active->trigger();
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            return false;
        }
    }

private:
    QList<QAction*> usable() const {
        QList<QAction*> entries;
        for (QAction* action : m_bar->actions())
            if (action->isVisible() && action->isEnabled() && !action->isSeparator())
                entries.push_back(action);
        return entries;
    }

    void step(int by) {
        const QList<QAction*> entries = usable();
        if (entries.isEmpty())
            return;
        const auto at = entries.indexOf(m_bar->activeAction());
        const auto count = entries.size();
        m_bar->setActiveAction(entries[((at < 0 ? 0 : at) + by + count) % count]);
    }

    void close() {
        m_bar->setActiveAction(nullptr);
        if (m_returnTo)
            m_returnTo->setFocus(Qt::OtherFocusReason);
        else
            m_bar->clearFocus();
    }

    QMenuBar* m_bar;
    QPointer<QWidget> m_returnTo;
};

} // namespace

void openMenuOnF10(QMainWindow* window) {
    auto* keys = new MenuBarKeys(window->menuBar());
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
    QObject::connect(f10, &QShortcut::activated, keys, [keys] { keys->open(); });
}
