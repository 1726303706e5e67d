#include "core/anomaly.h"

const char* AnomalySeverityText(AnomalySeverity severity)
{
    return severity == AnomalySeverity::Error ? "エラー" : "警告";
}
