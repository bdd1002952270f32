"""What a sweep's heatmaps show, shared by its picture and its page: the
best point of a channel by a metric, and the (at most) two parameters that
move the metric's mean most, every other one held at the best point's value.
Standard library only, so that the page needs no plotting package."""
import math


def metric_of(point, metric):
    """The point's finite value of `metric`, or None."""
    value = point.get("metrics", {}).get(metric)
    return None if value is None or not math.isfinite(value) else value


def goodness(point, metric):
    """The metric signed so that larger is better: fewer bit errors are."""
    value = metric_of(point, metric)
    return -value if metric.endswith("bit_errors") else value


def importance(points, axis, metric):
    """How far the metric's mean moves over the axis's values."""
    means = []
    for value in axis["values"]:
        values = [metric_of(p, metric) for p in points if p["settings"][axis["name"]] == value]
        values = [v for v in values if v is not None]
        if values:
            means.append(sum(values) / len(values))
    return max(means) - min(means) if len(means) > 1 else 0.0


def heatmap_plan(axes, points, metric):
    """(best point, the axes shown, the points with every other axis at the
    best point's value), or None when there is no axis or no figure."""
    finite = [p for p in points if metric_of(p, metric) is not None]
    if not axes or not finite:
        return None
    best = max(finite, key=lambda p: goodness(p, metric))
    shown = sorted(axes, key=lambda a: -importance(points, a, metric))[:2]
    names = {a["name"] for a in shown}
    held = [p for p in points
            if all(p["settings"][a["name"]] == best["settings"][a["name"]] for a in axes if a["name"] not in names)]
    return best, shown, held
