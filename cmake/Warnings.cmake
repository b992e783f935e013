# SPDX-License-Identifier: GPL-3.0-or-later
# Our own targets call mub_warnings(); third-party headers come in as SYSTEM.
function(mub_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
endfunction()
