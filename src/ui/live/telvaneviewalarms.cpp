// CTelvaneView: the alarm list. Every recorder's event reports go into one list,
// whatever the window shows; the alarm window shows it beside the main window, the
// status panel counts the rows nobody has looked at, and a double-click plays a
// row's channel from its recorder's archive.

#include "ui/live/telvaneview.h"

#include "protocol/timecodec.h"
#include "ui/dialogs/alarmlistdlg.h"
#include "ui/live/statuspanel.h"

void CTelvaneView::AddAlarm(int nRecorder)
{
    const ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(nRecorder) : nullptr;
    if (pClient && m_alarms.Add(nRecorder, m_pRecorders->Name(nRecorder), pClient->LastAlertWord(),
                                QDateTime::currentDateTime()))
        m_pStatus->SetNewAlarms(m_alarms.NewCount());
}

void CTelvaneView::OpenAlarmList()
{
    if (!m_pAlarmDlg)
        m_pAlarmDlg = std::make_unique<CAlarmListDlg>(
            m_alarms, [this](int nRow) { PlayAlarm(nRow); },
            [this](bool bShown) { OnAlarmWindowShown(bShown); });
    m_pAlarmDlg->ShowBeside(window());
}

void CTelvaneView::OnAlarmWindowShown(bool bShown)
{
    m_alarms.SetWatched(bShown);
    m_pStatus->SetNewAlarms(m_alarms.NewCount());
}

bool CTelvaneView::PlayAlarm(int nRow)
{
    if (nRow < 0 || nRow >= m_alarms.Count() || !m_pRecorders || !m_pArchive)
        return false;
    const AlarmRow &row = m_alarms.Row(nRow);
    const GlobalChannel channel = row.channel;
    // The archive opens for the selected recorder, so the row's channel is selected
    // first, as its button would. While the archive is shown only rows of the
    // recorder it shows can play: another recorder needs "Viewer" first.
    if (!m_pArchive->IsActive()) {
        OnChannelButton(channel.Index());
        if (m_nSelRecorder == channel.nRecorder)
            OnArchive();
    }
    if (!m_pArchive->IsActive() || m_pRecorders->ArchiveRecorder() != channel.nRecorder) {
        Beep();
        return false;
    }
    const QDate date = row.received.date();
    const QTime time = row.received.time();
    return m_pArchive->PlayFromEvent(MakeTimeCost(date.year(), date.month(), date.day(),
                                                  time.hour(), time.minute(), time.second()),
                                     channel.nChannel);
}
