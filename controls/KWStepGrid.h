#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

namespace tg {

// A drawn step grid for the sequencer windows: columns of one width (the
// steps), rows each with its own height, row labels on the left and beat
// headings over the columns ("| 1", "| 2", …, the first of each bar in bold).
// The grid holds no pattern: it asks for each cell's look and reports presses,
// releases and the space key, so the window decides what a cell means. Cells
// are drawn inset by one pixel: black when set, white when clear, or a text
// centred on white. The focused cell moves with the arrow keys. A playhead
// column, when there is one, shows the step being heard.
class KWStepGrid final : public QWidget {
  Q_OBJECT

 public:
  struct CellLook {
    bool set = false;
    QString text;  // shown on white instead of the set or clear block
  };
  using LookFunction = std::function<CellLook(int column, int row)>;

  // The column being heard, or −1 for none.
  using PlayheadFunction = std::function<int()>;

  explicit KWStepGrid(QWidget* parent = nullptr);
  ~KWStepGrid() override;

  // Geometry; the grid takes exactly the size it needs (no scroll bars).
  void SetColumns(int count, int width);
  void SetRows(const std::vector<int>& heights, const QStringList& labels);
  void SetLabelWidth(int width);
  // A heading every columnsPerBeat columns, numbered 1 … beatsPerBar.
  void SetBeats(int columnsPerBeat, int beatsPerBar);
  void SetLook(LookFunction look);

  int Columns() const { return columns_; }
  int Rows() const { return static_cast<int>(rowHeights_.size()); }
  int HeadingHeight() const;
  int LabelWidth() const { return labelWidth_; }
  // The whole area of a cell (its pitch), in grid coordinates.
  QRect CellRect(int column, int row) const;
  // The cell at a point; (−1, −1) over the labels, the headings or outside.
  QPoint CellAt(QPoint point) const;
  // The text of the heading over a column, empty where none starts.
  QString HeadingText(int column) const;
  bool HeadingIsBold(int column) const;

  QPoint FocusedCell() const { return focused_; }
  void SetFocusedCell(int column, int row);

  // Redraws one cell after its value changed, or every cell.
  void UpdateCell(int column, int row);
  void UpdateCells();

  // The playhead asks source for its column on the shared playhead timer;
  // an empty function takes the playhead away.
  void FollowPlayhead(PlayheadFunction source);
  // Asks the source now; only the columns that change are repainted.
  void RefreshPlayhead();
  void SetPlayhead(int column);
  int Playhead() const { return playhead_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 signals:
  // A left press or a release over a cell, with the mouse position in grid
  // coordinates.
  void CellPressed(int column, int row, QPoint position);
  void CellReleased(int column, int row, QPoint position);
  // The space key on the focused cell.
  void CellKeyToggled(int column, int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool IsCell(int column, int row) const;
  int RowTop(int row) const;
  void Resize();
  QFont FittingFont(const QString& text, QSize box) const;
  QRect ColumnRect(int column) const;

  int columns_ = 16;
  int columnWidth_ = 16;
  std::vector<int> rowHeights_;
  QStringList labels_;
  int labelWidth_ = 0;
  bool labelWidthSet_ = false;
  int columnsPerBeat_ = 4;
  int beatsPerBar_ = 4;
  LookFunction look_;
  QPoint focused_{0, 0};
  PlayheadFunction playheadSource_;
  int playhead_ = -1;
};

}  // namespace tg
