# ntfs-inspect: geometry, attributes and data runs of an NTFS volume (read-only).
add_executable(ntfs-inspect ${CMAKE_CURRENT_LIST_DIR}/ntfs_inspect.cpp)
target_link_libraries(ntfs-inspect PRIVATE docsalve_ntfs docsalve_platform)
