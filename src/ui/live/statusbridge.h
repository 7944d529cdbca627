#pragma once
// The view's hold on its status panel. The panel's header and the client's view
// interface both name the status codes, so the view reaches the panel through this
// small wrapper and never includes both in one file.

#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>

class QPainter;
class QString;
class CStatusPanel;

class CStatusPanelBridge {
  public:
    explicit CStatusPanelBridge(std::function<void(const QRect &)> fnUpdate);
    ~CStatusPanelBridge();

    void ShowStatus(uint32_t nCode, uint8_t byRetryCount, uint32_t dwEventWord);
    void DrawDateTime();
    void Paint(QPainter &painter) const;
    QString StatusText() const;
    // Everything the panel paints (view coordinates).
    static QRect Area();

  private:
    std::unique_ptr<CStatusPanel> m_pPanel;
};
