docsalve_add_test(platform_crypto_test SOURCES crypto_test.cpp LIBS docsalve_platform OpenSSL::Crypto)
# The provider is also checked against containers written by make-container.
if(TARGET make-container)
    add_dependencies(platform_crypto_test make-container)
endif()
