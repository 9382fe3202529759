#include "kinetta/shell/floating_windows.h"

#include "kinetta/skin/movie_dialog.h"
#include "kinetta/shell/movie_static.h"

namespace kinetta {

FloatingWindows::~FloatingWindows() {
    delete second_;
}

void FloatingWindows::CreateSecondMovie(QWidget* owner, CMovieStatic* area1, bool fullMode) {
    second_ = new CMovieDialog(FloatingKind::SecondMovie, owner);
    if (fullMode && area1) {
        area1->setParent(second_);
        area1->setGeometry(second_->InnerRect());
    }
}

void FloatingWindows::EndSecondMovie(QWidget* owner, CMovieStatic* area1, bool fullMode) {
    if (fullMode && area1 && second_) area1->setParent(owner); // freed with the owner
    delete second_;
    second_ = nullptr;
}

bool FloatingWindows::IsMapFrame(const QObject* window) const {
    return map_ && window == map_;
}

bool FloatingWindows::IsSecondMovie(const QObject* window) const {
    return second_ && window == second_;
}

void FloatingWindows::PlaceAtStart(const QRect& map, const QRect& second, bool fullMode) {
    if (map_) map_->move(map.topLeft());
    if (fullMode && second_) {
        second_->move(second.topLeft());
        second_->show();
    }
}

void FloatingWindows::PutAtDefaultPlaces(const QRect& map, const QRect& second, bool fullMode) {
    if (map_) {
        const bool wasShown = map_->isVisible();
        map_->PutAtDefaultPlace(map);
        // Putting it back does not show a map the user has switched off.
        if (!wasShown) map_->hide();
    }
    if (fullMode && second_) second_->PutAtDefaultPlace(second);
}

void FloatingWindows::SaveMultipliers() {
    for (CMovieDialog* w : {map_, second_})
        if (w) w->SaveMultipliers();
}

} // namespace kinetta
