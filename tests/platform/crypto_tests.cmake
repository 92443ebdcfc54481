docsalve_add_test(platform_crypto_test SOURCES crypto_test.cpp LIBS docsalve_platform OpenSSL::Crypto)
