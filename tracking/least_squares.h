#pragma once
// Levenberg-Marquardt for the camera fits and the pose polish: small dense problems, derivatives by
// the caller.
#include <functional>
#include <vector>

namespace kelmo {

// residuals(params, out): fills out (its size fixed by the first call).
using ResidualFunction = std::function<void(const std::vector<double>&, std::vector<double>&)>;
// jacobian(params, residualsAtParams, out): fills out, row-major, residuals × params.
using JacobianFunction =
    std::function<void(const std::vector<double>&, const std::vector<double>&, std::vector<double>&)>;

// Moves params downhill until a step no longer lowers the sum of squares noticeably; returns that sum.
double levenbergMarquardt(std::vector<double>& params, const ResidualFunction& residuals,
                          const JacobianFunction& jacobian, int maxIterations);

// Central differences, every residual for every parameter.
JacobianFunction numericJacobian(const ResidualFunction& residuals);

}  // namespace kelmo
