#pragma once

#include <QSignalSpy>
#include <vector>

// The float that each signal the spy caught carried first, in order.
inline std::vector<float> floatsOf(const QSignalSpy& spy) {
    std::vector<float> values;
    for (const QList<QVariant>& arguments : spy)
        values.push_back(arguments.at(0).toFloat());
    return values;
}
