# SPDX-License-Identifier: GPL-3.0-or-later

# Every include that leaves its own folder names its path from src/ ("engine/archive/ArchiveEngine.h",
# "app/AppModel.h"), from this one root; generated headers sit in a tree of the same shape.
add_library(tarvo_source_root INTERFACE)
target_include_directories(tarvo_source_root INTERFACE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_BINARY_DIR}/generated")

# Compile options shared by every target of the project.
add_library(tarvo_options INTERFACE)
target_compile_options(tarvo_options INTERFACE -Wall -Wextra -Wpedantic)
if(TARVO_WERROR)
    target_compile_options(tarvo_options INTERFACE -Werror)
endif()
if(TARVO_SANITIZE)
    target_compile_options(tarvo_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
    target_link_options(tarvo_options INTERFACE -fsanitize=address,undefined)
endif()
