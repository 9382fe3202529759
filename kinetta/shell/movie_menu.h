#pragma once
// CMovieMenu: the context menu of the movie areas.
//
// The context menu of a movie area: drawn by the program in the skin's colours
// (dark ground, white text, the accent behind the item under the pointer, grey
// for disabled items), listing the items of MovieMenuItems() for the clicked
// area. The chosen command goes to the owner's OnCommand, as a menu choice
// reaches its window.

#include <QMenu>
#include <QPoint>

#include "kinetta/shell/movie_menu_items.h"

namespace kinetta {

class CommandTarget;

class CMovieMenu : public QMenu {
public:
    // owner receives the chosen command; it must outlive the menu while shown.
    CMovieMenu(const MovieMenuContext& context, CommandTarget* owner, QWidget* parent = nullptr);

    // Shows the menu at globalPoint without blocking; the choice is reported
    // when the user makes it.
    void Track(QPoint globalPoint);

    // The action of command, or null when the menu does not list it.
    QAction* ActionFor(int command) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CommandTarget* owner_;
};

} // namespace kinetta
