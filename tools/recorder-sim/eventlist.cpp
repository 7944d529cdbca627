#include "eventlist.h"

#include <algorithm>

namespace sim {

QByteArray MakeEventList(int count, const QDateTime &rangeStart, const QDateTime &rangeEnd)
{
    static const unsigned char masks[] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04,
                                          0x02, 0x01, 0x00, 0xFF, 0x22, 0x0A};
    QByteArray list(count * EVENT_RECORD_SIZE, '\0');
    const qint64 span = std::max<qint64>(rangeStart.secsTo(rangeEnd), 1);
    for (int i = 0; i < count; ++i) {
        // Spread over the recording so that playing from an event finds pictures.
        const QDateTime t = rangeStart.addSecs(span * (i + 1) / (count + 1));
        unsigned char rec[EVENT_RECORD_SIZE];
        rec[0] = static_cast<unsigned char>(i % 6);
        rec[1] = masks[i % int(sizeof masks)];
        rec[2] = static_cast<unsigned char>(t.date().year() - 1996);
        rec[3] = static_cast<unsigned char>(t.date().month());
        rec[4] = static_cast<unsigned char>(t.date().day());
        rec[5] = static_cast<unsigned char>(t.time().hour());
        rec[6] = static_cast<unsigned char>(t.time().minute());
        rec[7] = static_cast<unsigned char>(t.time().second());
        rec[8] = static_cast<unsigned char>(i & 0xFF);
        rec[9] = static_cast<unsigned char>(i >> 8 & 0xFF);
        if (i % 9 == 4)
            rec[5] = 24;
        if (i % 9 == 8) {
            switch ((i / 9) % 6) {
            case 0:
                rec[3] = 13;
                break;
            case 1:
                rec[4] = 32;
                break;
            case 2:
                rec[5] = 25;
                break;
            case 3:
                rec[6] = 60;
                break;
            case 4:
                rec[7] = 60;
                break;
            default:
                rec[2] = 101;
                break;
            }
        }
        std::copy(rec, rec + EVENT_RECORD_SIZE, list.data() + i * EVENT_RECORD_SIZE);
    }
    return list;
}

} // namespace sim
