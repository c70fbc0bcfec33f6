#include "ui/ListingView.h"

#include "ui/frmAbout.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace quenlor {

namespace {

// Paints the cells' colours itself: the styles of some platforms draw the selection from their
// own theme and ignore the palette.
class ListingDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        QPalette& pal = option->palette;
        if (option->state.testFlag(QStyle::State_Selected)) {
            option->state.setFlag(QStyle::State_Selected, false);
            option->backgroundBrush = ListingView::selectedBackground();
            pal.setColor(QPalette::Text, pal.color(QPalette::Active, QPalette::HighlightedText));
        } else {
            option->backgroundBrush = pal.brush(QPalette::Window);
            pal.setColor(QPalette::Text, pal.color(QPalette::WindowText));
        }
    }

public:
    // A cell whose text does not fit shows it whole as its tooltip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        const QString text = index.data().toString();
        if (text.isEmpty() || sizeHint(option, index).width() <= option.rect.width()) {
            QToolTip::hideText();
            event->ignore();
            return false;
        }
        QToolTip::showText(event->globalPos(), plainToolTip(text), view->viewport(), option.rect);
        return true;
    }
};

} // namespace

ListingView::ListingView(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new ListingDelegate(this));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    // Tab leaves the grid for the next control instead of walking its cells.
    setTabKeyNavigation(false);
    setWordWrap(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    QHeaderView* header = horizontalHeader();
    // A column is widened or narrowed by dragging its header's right border.
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsClickable(false);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    // A style sheet, because native header styles ignore the palette.
    header->setStyleSheet(QStringLiteral("QHeaderView::section { background-color: %1;"
                                         " border: none; border-right: 1px solid %2;"
                                         " border-bottom: 1px solid %2; padding: 0px 4px; }")
                              .arg(headerBackground().name(), QColor(150, 182, 220).name()));

    // Beyond the last row and column the grid is white.
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::white);
    setPalette(pal);
}

QColor ListingView::headerBackground() {
    return {198, 227, 255};
}

QColor ListingView::selectedBackground() {
    return {70, 105, 159};
}

void ListingView::mousePressEvent(QMouseEvent* event) {
    m_pressed =
        event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : QModelIndex();
    QTableView::mousePressEvent(event);
}

void ListingView::mouseReleaseEvent(QMouseEvent* event) {
    const QPersistentModelIndex pressed = m_pressed;
    m_pressed = QModelIndex();
    QTableView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && pressed.isValid() &&
        indexAt(event->position().toPoint()) == pressed)
        emit cellClicked(pressed);
}

void ListingView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
        if (currentIndex().isValid())
            emit tickKeyPressed();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace quenlor
