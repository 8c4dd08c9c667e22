// The questions asked about servers that cannot be verified, and what the
// window remembers of the answers.

#include "app/remembering_host_trust.h"
#include "app_fixture.h"

using HostTrustTest = AppTest;

TEST_F(HostTrustTest, AnAcceptedCertificateIsAskedOnceAndOnlyForItsHost)
{
    RememberingHostTrust trust;
    dialogs.choiceAnswers = {0};
    EXPECT_TRUE(trust.trustCertificate("Example.org:990", "AA:BB", "self-signed"));
    ASSERT_EQ(dialogs.choices.size(), 1u);
    EXPECT_TRUE(dialogs.choices[0].contains("AA:BB"));
    EXPECT_TRUE(dialogs.choices[0].contains("self-signed"));
    EXPECT_TRUE(dialogs.choices[0].contains("Example.org:990"));

    // Same host, any spelling: no question. The settings file holds it, so a
    // new object (a new start of the program) knows it too.
    EXPECT_TRUE(RememberingHostTrust().trustCertificate("example.org:990", "aa:bb", "x"));
    EXPECT_EQ(dialogs.choices.size(), 1u);
    EXPECT_EQ(RememberingHostTrust::trustedCertificates("example.org:990"), QStringList{"AA:BB"});

    // Another port, or another certificate for the host, asks again; a
    // refusal is not remembered either way.
    EXPECT_FALSE(trust.trustCertificate("example.org:21", "AA:BB", "x"));
    EXPECT_FALSE(trust.trustCertificate("example.org:990", "CC:DD", "changed"));
    EXPECT_EQ(dialogs.choices.size(), 3u);
    EXPECT_EQ(RememberingHostTrust::trustedCertificates("example.org:990"), QStringList{"AA:BB"});
    EXPECT_TRUE(RememberingHostTrust::trustedCertificates("example.org:21").isEmpty());
}

TEST_F(HostTrustTest, HostKeysAreAskedEveryTimeTheClientAsks)
{
    RememberingHostTrust trust;
    dialogs.choiceAnswers = {0};
    EXPECT_TRUE(trust.trustHostKey("h:22", "SHA256:abc", "The host key is unknown."));
    EXPECT_FALSE(trust.trustHostKey("h:22", "SHA256:abc", "The host key changed."));
    ASSERT_EQ(dialogs.choices.size(), 2u);
    EXPECT_TRUE(dialogs.choices[1].contains("The host key changed."));
    EXPECT_TRUE(dialogs.choices[1].contains("SHA256:abc"));
}
