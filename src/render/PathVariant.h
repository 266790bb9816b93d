#pragma once

// The two programs differ only in the path-tracing shader and the seed fill.
enum class PathVariant { TwoBounce, OneBounce };
