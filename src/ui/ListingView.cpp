#include "ui/ListingView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyledItemDelegate>

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
    header->setSectionResizeMode(QHeaderView::Fixed);
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
