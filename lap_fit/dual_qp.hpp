// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A strictly convex quadratic programme with linear inequality constraints,
// solved by the dual active-set method of Goldfarb and Idnani: factor once,
// solve for as many right-hand sides and constraint sets as wanted.

#include <vector>

#include <Eigen/Dense>

namespace dz {

// qp_factor: the factor that qp_solve works with.
//
// Usual call: status = qp_factor(G, J), then qp_solve(J, g, C, d, ...) once or
// many times.
//
//   on entry  G  symmetric positive definite, p x p (only the lower triangle
//                is read).
//   on return J  p x p, J = L^-T where G = L L^T (Cholesky, L lower
//                triangular): J is upper triangular and J J^T = G^-1.
//
// Status:
//   0   success.
//   k   the leading minor of order k is not positive (or not finite): G is
//       not positive definite and J is not usable.
//
// Method: Cholesky by columns (the inner products in index order), then the
// columns of L^-1 by forward substitution, stored transposed; plain loops,
// so that the bits do not depend on the machine's cache sizes. p^3 / 2
// multiply-adds; meant for p up to a few hundred.
[[nodiscard]] int qp_factor(const Eigen::MatrixXd& G, Eigen::MatrixXd& J);

// The result of qp_solve.
struct QpSolution {
    Eigen::VectorXd x;            // the minimiser, p values
    std::vector<int> active;      // the constraints that hold with equality at x, in the order added
    Eigen::VectorXd multipliers;  // their Lagrange multipliers (>= 0), same order
    int iterations = 0;           // steps taken (adds, drops and dual steps)
};

// Status of qp_solve.
enum class QpStatus {
    solved = 0,      // x satisfies every constraint to the tolerance
    infeasible = 1,  // the constraints admit no point (a violated constraint cannot be
                     // reached without giving up a multiplier); x is the last iterate
    no_progress = 2, // the iteration limit was reached (rounding makes the method cycle);
                     // x is the last iterate
};

// qp_solve: minimise 1/2 x^T G x - g^T x subject to C^T x >= d.
//
// Usual call: after qp_factor(G, J) == 0.
//
//   on entry  J          p x p, from qp_factor (not changed).
//             g          p values.
//             C          p x m, column i the normal n_i of constraint i.
//             d          m values: constraint i reads n_i^T x >= d_i.
//             tolerance  a constraint counts as violated when
//                        (n_i^T x - d_i) / |n_i| < -tolerance, in the units
//                        of x. A zero column of C is skipped (it holds when
//                        d_i <= 0 and makes the problem infeasible otherwise).
//   on return out        x, the active set and its multipliers.
//
// Returns the status above. Not checked: sizes agree, G (through J) positive
// definite, values finite.
//
// Method (Goldfarb & Idnani, Math. Programming 27, 1983): start from the
// unconstrained minimum x = J J^T g with no active constraint. Repeat: take
// the most violated constraint p (the first of equal violations); with
// d = J^T n_p split after the q active constraints into d1, d2, the primal
// direction is z = J2 d2 and the change of the active multipliers r = R^-1 d1
// (J^T N = [R; 0] for the active normals N). The full step -s_p / (z^T n_p)
// makes p hold; the partial step min u_j / r_j (r_j > 0) drops the active
// constraint j whose multiplier would turn negative first; take the shorter,
// update x and the multipliers, add p (Givens rotations of J that zero d2
// below its first element, one new column of R) or drop j (rotations that
// bring R back to triangular form), and go on until nothing is violated.
// The dual objective grows at every step, so in exact arithmetic no active
// set comes twice and the method ends in finitely many steps; the limit of
// 50 (p + m) steps catches cycling by rounding.
//
// Accuracy: the factors J and R stay orthogonally updated (no normal
// equations of the constraints), so x is as accurate as G's conditioning
// allows; the active constraints hold to a few ulps of |n_i| |x|.
// Deterministic: no threads, a fixed order of every operation.
[[nodiscard]] QpStatus qp_solve(const Eigen::MatrixXd& J, const Eigen::VectorXd& g, const Eigen::MatrixXd& C,
                                const Eigen::VectorXd& d, double tolerance, QpSolution& out);

}  // namespace dz
