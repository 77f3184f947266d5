#pragma once
// A read-only text field that reads like a label: no frame, no focus, no
// background of its own. It always shows its text from the first character;
// a text that does not fit is cut at the end (or, for a path, in the middle,
// so that the file name stays whole) and is shown whole as the tool tip.
// Thread: the window thread.

#include <QLineEdit>
#include <QString>

namespace q8ui {

class TextField : public QLineEdit {
    Q_OBJECT

  public:
    enum class Overflow {
        CutEnd,     // the end of a long text is cut off
        ElidePath,  // "…" replaces the middle of the folder; the name stays
    };

    explicit TextField(QWidget* parent, Overflow overflow = Overflow::CutEnd);

    // The whole text; text() is what the field shows.
    const QString& FullText() const { return full_; }
    // True while the field cannot show the whole text.
    bool IsCut() const { return !toolTip().isEmpty(); }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Fits full_ into the field and sets the tool tip; setText goes through
    // here too.
    void Fit();
    // Pixels the field has for its text.
    int Room() const;

    Overflow overflow_;
    QString full_;
    bool fitting_ = false;
};

}  // namespace q8ui
