// Parameter files whose pixels are known, shared by the tests that render
// them through spirelle-cli and through the desktop program's threads.
#pragma once

#include <string>

namespace spirelle::testing {

// The built-in quadratic iteration, carried in each scene file below.
inline const std::string kQuadEntry = R"(
Test.ufm:Quad {
builtin:
  type = 1
default:
  complex param start
    default = (0, 0)
  endparam
  float param bailout
    default = 4.0
  endparam
}
)";

// Two sets of a quadratic iteration. "Inside" looks at a small patch in the
// main cardioid, so every sample stays bounded and shows the solid inside
// colour; "Outside" looks far from the set, so every sample escapes at once
// and reads a gradient that is one colour everywhere. Colours are packed
// with red in the lowest byte.
inline const std::string kScenes = R"(Inside {
fractal:
  width=24 height=16
layer:
  opacity=100 mergemode=normal
mapping:
  center=-0.1/0.05 magn=40
formula:
  maxiter=60 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278221055
outside:
  entry=Smooth
gradient:
  index=0 color=65280 index=200 color=65280
}

Outside {
fractal:
  width=20 height=20 frames=4
layer:
  opacity=100
mapping:
  center=9/9@#0L8/8@#480L magn=30
formula:
  maxiter=60 filename=Test.ufm entry=Quad
outside:
  transfer=linear entry=Smooth
gradient:
  smooth=yes index=0 color=12615680 index=150 color=12615680 index=300 color=12615680
opacity:
  smooth=no index=0 opacity=255
}

)";

// One set across the edge of the quadratic set: every pixel differs, so
// misplaced samples, a wrong sample count or a stale image show.
inline const std::string kBoundaryScene = R"(Boundary {
fractal:
  width=40 height=30
layer:
  opacity=100 mergemode=normal
mapping:
  center=-0.75/0.1 magn=1.5
formula:
  maxiter=100 filename=Test.ufm entry=Quad
inside:
  transfer=none solid=4278190080
outside:
  transfer=linear entry=Smooth
gradient:
  smooth=yes index=0 color=255 index=100 color=65280 index=200 color=16711680 index=300 color=16776960
}

)";

// A set whose formula calls a function that does not exist: the generated
// program does not build, and the build log names the call.
inline const std::string kBrokenScene = R"(Broken {
fractal:
  width=8 height=8
layer:
  opacity=100
mapping:
  center=0/0 magn=1
formula:
  maxiter=10 filename=Test.ufm entry=Broken
outside:
  entry=Smooth
}

Test.ufm:Broken {
init:
  z = 0
loop:
  z = nosuchcall(z) + #pixel
bailout:
  |z| < 4
}
)";

}  // namespace spirelle::testing
