# hv-debug-view: the live viewer of diagnostic log lines. Included from tools/CMakeLists.txt.
add_executable(hv-debug-view ${CMAKE_CURRENT_LIST_DIR}/hv_debug_view.cpp)
target_include_directories(hv-debug-view PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(hv-debug-view PRIVATE docsalve_diaglog docsalve_platform)
