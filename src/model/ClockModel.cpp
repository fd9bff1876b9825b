#include "model/ClockModel.h"

#include "errors/Procedure.h"
#include "model/CheckedArithmetic.h"
#include "model/TimeText.h"

namespace korvo::model {

void ClockModel::applySet(const std::vector<PERIOD_REC>& periods, std::int32_t timeMode, const QString& broadcastIp)
{
    // A set too long to count fails before anything of the model has changed.
    const std::int16_t count = narrow16(static_cast<std::int64_t>(periods.size()));
    std::vector<PERIOD_REC> list;
    list.reserve(periods.size() + 1);
    list.emplace_back();
    list.insert(list.end(), periods.begin(), periods.end());
    PERIODS = std::move(list);
    PERIOD_COUNT = count;
    TIME_MODE = timeMode;
    CUR_PERIOD = 1;
    BROADCAST_IP = broadcastIp;
}

PERIOD_REC& ClockModel::record(std::int32_t number)
{
    if (!PERIODS || number < 0 || static_cast<std::size_t>(number) >= PERIODS->size())
        errors::raise(errors::err::SubscriptOutOfRange);
    return (*PERIODS)[static_cast<std::size_t>(number)];
}

PERIOD_REC& ClockModel::currentRecord()
{
    return record(CUR_PERIOD);
}

QString ClockModel::durationText()
{
    const PERIOD_REC& rec = currentRecord();
    return clockText(rec.Minutes, rec.Seconds);
}

void startPeriod(errors::Procedure& p, ClockModel& model, int line)
{
    p.at(line, [&] { model.PERIOD_SECONDS = common::TIME2SEC(p.trap(), model.durationText()); });
    p.at(line, [&] { model.CUR_SECONDS = model.TIME_MODE == COUNT_DOWN ? model.PERIOD_SECONDS : 0; });
}

} // namespace korvo::model
