#include "ui/live/statusbridge.h"

#include "ui/live/statuspanel.h"

CStatusPanelBridge::CStatusPanelBridge(std::function<void(const QRect &)> fnUpdate)
    : m_pPanel(std::make_unique<CStatusPanel>())
{
    m_pPanel->SetUpdateCallback(std::move(fnUpdate));
}

CStatusPanelBridge::~CStatusPanelBridge() = default;

void CStatusPanelBridge::ShowStatus(uint32_t nCode, uint8_t byRetryCount, uint32_t dwEventWord)
{
    m_pPanel->ShowStatus(nCode, byRetryCount, dwEventWord);
}

void CStatusPanelBridge::DrawDateTime()
{
    m_pPanel->DrawDateTime();
}

void CStatusPanelBridge::Paint(QPainter &painter) const
{
    m_pPanel->paint(painter);
}

QString CStatusPanelBridge::StatusText() const
{
    return m_pPanel->GetStatusText();
}

QRect CStatusPanelBridge::Area()
{
    return statusrect::kAll;
}
