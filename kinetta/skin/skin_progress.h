#pragma once
// CSkinProgressBarCtrl: the skinned progress bar.
//
// The skin's percentage bar ("progress bar"): blue up to the position, white
// after it, with "%d %" of the position centred, white over the blue part and
// blue over the white part. Callers give positions from 0 to 100.

#include <QWidget>

namespace kinetta {

class CSkinProgressBarCtrl : public QWidget {
public:
    static constexpr const char* kClassName = "progress bar";

    // A child of parent, trunc(S x 22) high; the parent places it.
    CSkinProgressBarCtrl(int controlId, QWidget* parent);

    void SetRange(int min, int max);
    void SetPos(int position);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Pos() const { return position_; }
    int ControlId() const { return controlId_; }
    // The text drawn for the current position.
    QString Text() const;
    // A line drawn right of the percentage (empty: none).
    void SetDetail(const QString& text);
    QString Detail() const { return detail_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int controlId_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    QString detail_;
};

} // namespace kinetta
