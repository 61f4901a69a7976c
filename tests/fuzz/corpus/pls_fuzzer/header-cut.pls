audio/x-scpls
[play