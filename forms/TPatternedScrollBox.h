#pragma once

#include <QPixmap>
#include <QScrollArea>

namespace tg {

// The properties pane: a scroll box whose background is a tiled picture that
// scrolls with the content, each row of tiles shifted right by a share of the
// tile width. The content grows to hold every window in it.
class TPatternedScrollBox final : public QScrollArea {
  Q_OBJECT

 public:
  static constexpr int kDefaultTileShiftPercent = 23;

  explicit TPatternedScrollBox(QWidget* parent = nullptr);

  void SetTile(const QPixmap& tile);
  const QPixmap& Tile() const { return tile_; }
  void SetTileShiftPercent(int percent);
  int TileShiftPercent() const { return shiftPercent_; }
  // The pane's own tile: drawn, so nothing has to be shipped.
  static QPixmap GardenTile();

  // Makes the content at least as large as the view and every window in it.
  void FitContent();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Content;
  QPixmap tile_;
  int shiftPercent_ = kDefaultTileShiftPercent;
  bool fitting_ = false;
};

}  // namespace tg
